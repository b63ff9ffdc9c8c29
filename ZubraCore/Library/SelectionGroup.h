#pragma once
// A named, coloured set of selections. Membership lives on the selections (Selection::groupIDs).

#include <QColor>
#include <QDateTime>
#include <QString>
#include <QUuid>
#include <optional>

struct SelectionGroup
{
    QUuid id;
    QString name;
    QString colorHex; // "#RRGGBB" by convention; any string is kept as given
    QDateTime createdAt;

    // The parsed colour, else the teal that stands for an unreadable one.
    QColor color() const;

    friend bool operator==(const SelectionGroup&, const SelectionGroup&) = default;
};

size_t qHash(const SelectionGroup& g, size_t seed = 0) noexcept;

// Parses "#RRGGBB" or "RRGGBB" (white space around is ignored); nothing when not a colour.
std::optional<QColor> colorFromHexString(const QString& text);

// The colour shown for a group whose colour text does not parse.
QColor fallbackGroupColor();
