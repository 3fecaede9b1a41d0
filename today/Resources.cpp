#include "today/Resources.h"

#include <iterator>

#include "device/gui/Resources.h"

namespace {

#include "today/resources/StateIcons.xpm"

constexpr VelmoStringResource kStrings[] = {
    {velmo::ItemNameString, u"VelmoLight Today"},
    {velmo::CountersFormatString, u"Blocked: %d Silently accepted: %d"},
};
constexpr VelmoBitmapResource kBitmaps[] = {
    {velmo::StateIconsBitmap, StateIcons},
};

}  // namespace

const VelmoResourceTable VelmoResources = {kStrings, std::size(kStrings), kBitmaps, std::size(kBitmaps)};
