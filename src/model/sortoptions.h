#pragma once

#include <QHashFunctions>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringView>

#include <optional>

// The two sort orders the user picks from. Each is identified by its raw value, which is also the
// text shown for it and the text stored in the settings; the enumerators are capitalised for QML
// and never stored.

// Sort order of the catalogue.
class AppSortOption {
    Q_GADGET
    Q_PROPERTY(QString rawValue READ rawValue CONSTANT)
    Q_PROPERTY(Value value READ value CONSTANT)

public:
    enum Value { Name, Date, Size };
    Q_ENUM(Value)

    constexpr AppSortOption(Value value = Name)
        : m_value(value) {}

    constexpr Value value() const { return m_value; }
    QString rawValue() const;

    // Nothing for a text that names no case.
    static std::optional<AppSortOption> fromRawValue(QStringView rawValue);
    static QList<AppSortOption> allCases() { return {Name, Date, Size}; }

    friend constexpr bool operator==(AppSortOption, AppSortOption) = default;
    friend size_t qHash(AppSortOption option, size_t seed = 0) { return qHash(option.rawValue(), seed); }

private:
    Value m_value;
};

// Sort order of the repository tree.
class RepoSortOption {
    Q_GADGET
    Q_PROPERTY(QString rawValue READ rawValue CONSTANT)
    Q_PROPERTY(Value value READ value CONSTANT)

public:
    enum Value { Standard, Name };
    Q_ENUM(Value)

    constexpr RepoSortOption(Value value = Standard)
        : m_value(value) {}

    constexpr Value value() const { return m_value; }
    QString rawValue() const;

    // Nothing for a text that names no case.
    static std::optional<RepoSortOption> fromRawValue(QStringView rawValue);
    static QList<RepoSortOption> allCases() { return {Standard, Name}; }

    friend constexpr bool operator==(RepoSortOption, RepoSortOption) = default;
    friend size_t qHash(RepoSortOption option, size_t seed = 0) { return qHash(option.rawValue(), seed); }

private:
    Value m_value;
};

Q_DECLARE_METATYPE(AppSortOption)
Q_DECLARE_METATYPE(RepoSortOption)
