#include "sortoptions.h"

using namespace Qt::StringLiterals;

QString AppSortOption::rawValue() const {
    switch (m_value) {
    case name:
        return u"Name"_s;
    case date:
        return u"Date"_s;
    case size:
        return u"Size"_s;
    }
    Q_UNREACHABLE();
    return {};
}

std::optional<AppSortOption> AppSortOption::fromRawValue(QStringView rawValue) {
    for (AppSortOption option : allCases()) {
        if (option.rawValue() == rawValue)
            return option;
    }
    return std::nullopt;
}

QString RepoSortOption::rawValue() const {
    switch (m_value) {
    case standard:
        return u"Default"_s;
    case name:
        return u"Name"_s;
    }
    Q_UNREACHABLE();
    return {};
}

std::optional<RepoSortOption> RepoSortOption::fromRawValue(QStringView rawValue) {
    for (RepoSortOption option : allCases()) {
        if (option.rawValue() == rawValue)
            return option;
    }
    return std::nullopt;
}
