#pragma once

#include <QString>

#include <array>

namespace korvel::model {

// The tabs of the location list, in their order on screen.
enum class LocationTab { recommended, all, recent };

inline constexpr std::array<LocationTab, 3> allLocationTabs{LocationTab::recommended, LocationTab::all,
                                                            LocationTab::recent};

// The tab's visible title.
QString locationTabTitle(LocationTab tab);

} // namespace korvel::model
