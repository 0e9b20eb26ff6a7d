#pragma once
// The 305 x 50 banner over the window: blue texture, gold lettering.

#include <QImage>

namespace artwork {

constexpr int kBannerWidth = 305;
constexpr int kBannerHeight = 50;
// The panel the banner is stretched over; the lettering is pre-squeezed so
// it looks upright after that stretch.
constexpr int kBannerPanelWidth = 489;
constexpr int kBannerPanelHeight = 61;

QImage Banner();

}  // namespace artwork
