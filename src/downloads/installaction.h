#pragma once

#include <QMetaType>
#include <QObject>

// The user's answer to a bundle-identifier conflict.
namespace InstallActionNamespace {
Q_NAMESPACE
// Capitalised because QML reads only capitalised enumerators.
enum class InstallAction { InstallSeparate, UpdateExisting, Cancel };
Q_ENUM_NS(InstallAction)
} // namespace InstallActionNamespace
using InstallAction = InstallActionNamespace::InstallAction;
