#pragma once

#include <QMetaType>
#include <QObject>

// The user's answer to a bundle-identifier conflict.
namespace InstallActionNamespace {
Q_NAMESPACE
enum class InstallAction { installSeparate, updateExisting, cancel };
Q_ENUM_NS(InstallAction)
} // namespace InstallActionNamespace
using InstallAction = InstallActionNamespace::InstallAction;
