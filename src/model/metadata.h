#pragma once

#include <QString>

#include <optional>

// The "META" object of a feed: some publishers put the repository's name and icon there.
struct MetaData {
    std::optional<QString> repoName{};
    // Used as the repository's icon when the feed has no top-level "iconURL".
    std::optional<QString> repoIcon{};

    friend bool operator==(const MetaData &, const MetaData &) = default;
};
