#include "today/Resources.h"

#include <iterator>

#include "app/resources/StateBitmap.h"
#include "device/gui/Resources.h"

namespace {

VelmoBitmapPixels StatePictures() {
    static const velmo::Bitmap bitmap = velmo::StateBitmap();
    return {bitmap.width, bitmap.height, bitmap.pixels.data()};
}

constexpr VelmoStringResource kStrings[] = {
    {velmo::ItemNameString, u"VelmoLight Today"},
    {velmo::CountersFormatString, u"Blocked: %d Silently accepted: %d"},
};
constexpr VelmoBitmapResource kBitmaps[] = {
    {velmo::IDB_STATE_ICONS, StatePictures},
};

}  // namespace

const VelmoResourceTable VelmoResources = {kStrings, std::size(kStrings), kBitmaps, std::size(kBitmaps)};
