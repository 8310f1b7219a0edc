#include "sortoptions.h"

using namespace Qt::StringLiterals;

QString AppSortOption::rawValue() const {
    switch (m_value) {
    case Name:
        return u"Name"_s;
    case Date:
        return u"Date"_s;
    case Size:
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
    case Standard:
        return u"Default"_s;
    case Name:
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
