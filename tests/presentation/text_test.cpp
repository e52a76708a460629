// The icon text on its box: pixels of overlays drawn with the default appearance and
// with the appearance options changed one at a time.
#include "fixture.h"
#include "feed/newitems.h"
#include "presentation/badge.h"
#include "presentation/icon.h"
#include "presentation/text.h"

namespace {

const int c_x0 = 25, c_y0 = 110, c_x1 = 230, c_y1 = 229;  // the box, inclusive

bool InBox(int x, int y) {
    return x >= c_x0 && x <= c_x1 && y >= c_y0 && y <= c_y1;
}

// An overlay of the record's settings showing szText as the current item's title.
qm::GdipBitmapPtr Overlay(Docklet& d, const wchar_t* szText) {
    if (d->items.GetCount() == 0) d.AddItem(szText);
    d->iCurrentItem = 0;
    return qm::GdipBitmapPtr(RenderIconOverlay(d.p));
}

// Opaque, near-white pixels strictly inside the frame: the text.
int TextPixels(const Pixels& px) {
    int n = 0;
    for (int y = c_y0 + 2; y <= c_y1 - 2; ++y)
        for (int x = c_x0 + 2; x <= c_x1 - 2; ++x)
            if (px.A(x, y) > 200 && px.R(x, y) > 200 && px.G(x, y) > 200 && px.B(x, y) > 200) ++n;
    return n;
}

// Pixels in the box interior that are exactly the plate colour.
int PlatePixels(const Pixels& px, uint32_t argb) {
    int n = 0;
    for (int y = c_y0 + 2; y <= c_y1 - 2; ++y)
        for (int x = c_x0 + 2; x <= c_x1 - 2; ++x)
            if (px.At(x, y) == argb) ++n;
    return n;
}

int NonTransparentOutsideBox(const Pixels& px) {
    int n = 0;
    for (int y = 0; y < px.h; ++y)
        for (int x = 0; x < px.w; ++x)
            if (!InBox(x, y) && px.A(x, y) != 0) ++n;
    return n;
}

}  // namespace

TEST(LabelText, ColourAndOpacityMakeOneArgbWithRedAndBlueSwapped) {
    EXPECT_EQ(MakeArgb(RGB(255, 128, 0), 200), 0xC8FF8000u);
    EXPECT_EQ(MakeArgb(RGB(1, 2, 3), 0), 0x00010203u);
    EXPECT_EQ(MakeArgb(0xFFFFFF, 255), 0xFFFFFFFFu);
}

TEST(LabelText, DefaultOverlayIsAFramedRoundedPlateWithWhiteBoldText) {
    Docklet d;
    qm::GdipBitmapPtr bmp = Overlay(d, L"Quillmere news");
    ASSERT_TRUE(bmp);
    SaveForLooking(bmp.get(), "overlay-default.png");
    Pixels px(bmp.get());
    ASSERT_EQ(px.w, 256);
    ASSERT_EQ(px.h, 256);
    EXPECT_EQ(NonTransparentOutsideBox(px), 0);
    // The plate: black at alpha 100 across the interior, apart from the text.
    EXPECT_EQ(px.At(30, 115), 0x64000000u);
    EXPECT_EQ(px.At(225, 224), 0x64000000u);
    EXPECT_GT(PlatePixels(px, 0x64000000u), 15000);
    // The frame: white, opaque, one pixel on each edge, the plate just inside it.
    for (auto pt : {POINT{128, c_y0}, POINT{128, c_y1}, POINT{c_x0, 170}, POINT{c_x1, 170}}) {
        EXPECT_EQ(px.A(pt.x, pt.y), 255) << pt.x << "," << pt.y;
        EXPECT_EQ(px.R(pt.x, pt.y), 255) << pt.x << "," << pt.y;
    }
    EXPECT_EQ(px.At(c_x0 + 1, 170), 0x64000000u);
    EXPECT_EQ(px.At(128, c_y0 + 1), 0x64000000u);
    // Rounded corners of radius 5: the corner pixels are cut away, the edges are full
    // from 5 pixels in.
    for (auto pt : {POINT{c_x0, c_y0}, POINT{c_x1, c_y0}, POINT{c_x0, c_y1}, POINT{c_x1, c_y1}})
        EXPECT_LT(px.A(pt.x, pt.y), 40) << pt.x << "," << pt.y;
    EXPECT_EQ(px.A(c_x0 + 6, c_y0), 255);
    EXPECT_EQ(px.A(c_x0, c_y0 + 6), 255);
    // The text: white, opaque, centred on the plate.
    int n = TextPixels(px);
    ASSERT_GT(n, 300);
    long sumX = 0, sumY = 0;
    for (int y = c_y0 + 2; y <= c_y1 - 2; ++y)
        for (int x = c_x0 + 2; x <= c_x1 - 2; ++x)
            if (px.A(x, y) > 200 && px.R(x, y) > 200 && px.G(x, y) > 200 && px.B(x, y) > 200) sumX += x, sumY += y;
    EXPECT_NEAR(sumX / n, 128, 8);
    EXPECT_NEAR(sumY / n, 170, 8);
}

TEST(LabelText, HideBitGivesAFullyTransparentOverlayEvenWhileRefreshing) {
    Docklet d;
    d->iDockletInfo = INFO_HIDE | INFO_ITEM_TITLE;
    d->bRefreshing = 1;
    qm::GdipBitmapPtr bmp = Overlay(d, L"Hidden");
    Pixels px(bmp.get());
    ASSERT_EQ(px.w, 256);
    for (uint32_t v : px.argb) ASSERT_EQ(v, 0u);
}

TEST(LabelText, TextOpacityZeroLeavesOnlyThePlate) {
    Docklet d;
    d->bFontAlpha = 0;
    qm::GdipBitmapPtr bmp = Overlay(d, L"Invisible words");
    SaveForLooking(bmp.get(), "overlay-text-alpha0.png");
    Pixels px(bmp.get());
    EXPECT_EQ(TextPixels(px), 0);
    // Neither text nor frame: every box pixel is the plate (corners antialiased).
    EXPECT_EQ(px.At(c_x0, 170), 0x64000000u);
    EXPECT_EQ(PlatePixels(px, 0x64000000u), (c_x1 - c_x0 - 3) * (c_y1 - c_y0 - 3));
}

TEST(LabelText, BoxOpacityZeroLeavesFrameAndText) {
    Docklet d;
    d->bBackgroundAlpha = 0;
    qm::GdipBitmapPtr bmp = Overlay(d, L"Floating");
    Pixels px(bmp.get());
    EXPECT_EQ(px.At(30, 115), 0u);
    EXPECT_EQ(px.A(c_x0, 170), 255);
    EXPECT_GT(TextPixels(px), 100);
}

TEST(LabelText, UnknownFontLeavesThePlateWithoutText) {
    Docklet d;
    CopyText(d->szFontName, 32, L"No Such Font Qm");
    qm::GdipBitmapPtr bmp = Overlay(d, L"Nothing to see");
    SaveForLooking(bmp.get(), "overlay-no-font.png");
    Pixels px(bmp.get());
    EXPECT_EQ(TextPixels(px), 0);
    EXPECT_EQ(PlatePixels(px, 0x64000000u), (c_x1 - c_x0 - 3) * (c_y1 - c_y0 - 3));
    EXPECT_EQ(px.A(c_x0, 170), 255);
}

TEST(LabelText, SquareCornersOptionStillCutsARadiusOfOne) {
    Docklet d;
    d->bRoundedCorners = 0;
    qm::GdipBitmapPtr bmp = Overlay(d, L"");
    Pixels px(bmp.get());
    // Radius 1: the frame reaches within a pixel of the corner.
    EXPECT_EQ(px.A(c_x0 + 2, c_y0), 255);
    EXPECT_EQ(px.A(c_x0, c_y0 + 2), 255);
    EXPECT_EQ(NonTransparentOutsideBox(px), 0);
}

TEST(LabelText, EmptyTextDrawsTheBoxAlone) {
    Docklet d;
    d->iDockletInfo = 0;  // no text bit: the box without text
    d.AddItem(L"Not shown");
    qm::GdipBitmapPtr bmp = Overlay(d, L"");
    Pixels px(bmp.get());
    EXPECT_EQ(TextPixels(px), 0);
    EXPECT_EQ(px.A(c_x0, 170), 255);
}

TEST(LabelText, LongTextWrapsInsideTheBoxCentredVertically) {
    Docklet d;
    qm::GdipBitmapPtr bmp = Overlay(d, L"A rather long headline that needs three lines on the icon");
    SaveForLooking(bmp.get(), "overlay-wrapped.png");
    Pixels px(bmp.get());
    EXPECT_EQ(NonTransparentOutsideBox(px), 0);
    int top = -1, bottom = -1, left = 256, right = -1;
    for (int y = c_y0 + 2; y <= c_y1 - 2; ++y)
        for (int x = c_x0 + 2; x <= c_x1 - 2; ++x)
            if (px.A(x, y) > 200 && px.R(x, y) > 200) {
                if (top < 0) top = y;
                bottom = y;
                left = std::min(left, x);
                right = std::max(right, x);
            }
    ASSERT_GT(top, 0);
    EXPECT_GT(bottom - top, 60);  // three lines or more of em 22
    EXPECT_NEAR((top + bottom) / 2, 170, 8);
    EXPECT_NEAR((left + right) / 2, 128, 8);
}

TEST(LabelText, SixPixelHighBoxShrinksTheCornerArcs) {
    qm::GdipBitmapPtr bmp;
    ASSERT_EQ(qm::GdipCreateBitmapFromScan0(40, 20, 0, PixelFormat32bppARGB, nullptr, bmp.put()), Gdiplus::Ok);
    qm::GdipGraphicsPtr g;
    qm::GdipGetImageGraphicsContext(bmp.get(), g.put());
    qm::GdipSetSmoothingMode(g.get(), Gdiplus::SmoothingModeAntiAlias);
    DrawLabelText(g.get(), L"", L"Tahoma", Gdiplus::FontStyleBold, RGB(255, 255, 255), RGB(0, 0, 255), 255, 255,
                  Gdiplus::StringAlignmentCenter, Gdiplus::StringAlignmentCenter, 11.0f, true, true,
                  Gdiplus::RectF(5, 5, 30, 6));
    g.reset();
    Pixels px(bmp.get());
    // Rows 5 to 10 only; the middle of the box is blue plate between white frame rows.
    for (int x = 0; x < 40; ++x) {
        EXPECT_EQ(px.A(x, 3), 0) << x;
        EXPECT_EQ(px.A(x, 12), 0) << x;
    }
    EXPECT_EQ(px.At(20, 5), 0xFFFFFFFFu);
    EXPECT_EQ(px.At(20, 10), 0xFFFFFFFFu);
    EXPECT_EQ(px.At(20, 7), 0xFF0000FFu);
    // The arcs are in 6 x 6 squares: the ends are round, three pixels deep.
    EXPECT_LT(px.A(5, 5), 200);
    EXPECT_EQ(px.A(9, 5), 255);
}

TEST(LabelText, RoundedPathSpansTheRectangleInclusively) {
    qm::GdipPathPtr path;
    qm::GdipCreatePath(Gdiplus::FillModeAlternate, path.put());
    AddRoundedRectPath(path.get(), 25, 110, 206, 120, 10);
    Gdiplus::RectF bounds;
    qm::GdipGetPathWorldBounds(path.get(), &bounds, nullptr, nullptr);
    EXPECT_FLOAT_EQ(bounds.X, 25);
    EXPECT_FLOAT_EQ(bounds.Y, 110);
    EXPECT_FLOAT_EQ(bounds.Width, 205);
    EXPECT_FLOAT_EQ(bounds.Height, 119);
    // A diameter larger than the box is limited to its smaller side.
    AddRoundedRectPath(path.get(), 0, 0, 30, 6, 10);
    qm::GdipGetPathWorldBounds(path.get(), &bounds, nullptr, nullptr);
    EXPECT_FLOAT_EQ(bounds.Height, 5);
}

// ---- The count of new items ----

namespace {

// Marks the first n items new, as a refresh that found them does.
void MarkNew(Docklet& d, size_t n) {
    for (size_t i = 0; i < n; ++i) d->known.marked.insert(ItemKey(d->items.GetAt(static_cast<unsigned int>(i))));
}

// The badge's pixels: those of the highlight colour, and the leftmost and lowest of them.
struct BadgeArea {
    int n = 0, iLeft = 256, iBottom = -1, nWhite = 0;
    explicit BadgeArea(const Pixels& px) {
        const uint32_t highlight = MakeArgb(GetSysColor(COLOR_HIGHLIGHT), 255);
        for (int y = 0; y < px.h; ++y)
            for (int x = 0; x < px.w; ++x) {
                if (px.At(x, y) != highlight) continue;
                ++n;
                iLeft = std::min(iLeft, x);
                iBottom = std::max(iBottom, y);
            }
        for (int y = 0; y <= iBottom; ++y)
            for (int x = iLeft; x < px.w; ++x)
                if (px.At(x, y) == 0xFFFFFFFFu) ++nWhite;
    }
};

}  // namespace

TEST(CountBadge, SaysTheNumberUpTo99) {
    const std::pair<size_t, const wchar_t*> cases[] = {
        {1, L"1"}, {9, L"9"}, {99, L"99"}, {100, L"99+"}, {2000, L"99+"}};
    for (const auto& c : cases) EXPECT_EQ(BadgeLabel(c.first), c.second);
}

TEST(CountBadge, TopRightWhenItemsAreNewAndTheIconAsBeforeOtherwise) {
    Docklet d;
    for (int i = 0; i < 150; ++i) d.AddItem(L"Item", (L"http://example.test/" + std::to_wstring(i)).c_str());
    qm::GdipBitmapPtr plain = Overlay(d, L"Item");
    Pixels before(plain.get());
    EXPECT_EQ(BadgeArea(before).n, 0);

    MarkNew(d, 2);
    qm::GdipBitmapPtr two = Overlay(d, L"Item");
    SaveForLooking(two.get(), "overlay-badge-2.png");
    Pixels px(two.get());
    BadgeArea badge(px);
    EXPECT_GT(badge.n, 4000);
    EXPECT_GT(badge.nWhite, 300);                     // the digit
    EXPECT_GT(badge.iLeft, 128);                      // in the right half,
    EXPECT_LT(badge.iBottom, 110);                    // above the text's box
    EXPECT_EQ(px.At(128, 170), before.At(128, 170));  // which is drawn as before

    // NotifyNew off: exactly the overlay without marks.
    d->bNotifyNew = 0;
    qm::GdipBitmapPtr off = Overlay(d, L"Item");
    EXPECT_EQ(Pixels(off.get()).argb, before.argb);
    d->bNotifyNew = 1;

    // Above 99: "99+" in a wider badge.
    MarkNew(d, 150);
    qm::GdipBitmapPtr many = Overlay(d, L"Item");
    SaveForLooking(many.get(), "overlay-badge-99.png");
    BadgeArea wide{Pixels(many.get())};
    EXPECT_LT(wide.iLeft, badge.iLeft - 20);
    EXPECT_LT(wide.iBottom, 110);

    // The text hidden: the badge alone.
    d->iDockletInfo = INFO_HIDE;
    qm::GdipBitmapPtr alone = Overlay(d, L"Item");
    Pixels onlyBadge(alone.get());
    EXPECT_EQ(NonTransparentOutsideBox(onlyBadge), NonTransparentOutsideBox(Pixels(many.get())));
    EXPECT_EQ(onlyBadge.At(128, 170), 0u);
}

TEST(CountBadge, ReadableOnAFortyEightPixelIcon) {
    Docklet d;
    d.AddItem(L"Item", L"http://example.test/1");
    d.AddItem(L"Item", L"http://example.test/2");
    MarkNew(d, 2);
    qm::GdipBitmapPtr overlay = Overlay(d, L"Item");
    qm::GdipBitmapPtr small;
    ASSERT_EQ(qm::GdipCreateBitmapFromScan0(48, 48, 0, PixelFormat32bppARGB, nullptr, small.put()), Gdiplus::Ok);
    {
        qm::GdipGraphicsPtr g;
        qm::GdipGetImageGraphicsContext(small.get(), g.put());
        qm::GdipSetInterpolationMode(g.get(), Gdiplus::InterpolationModeHighQualityBicubic);
        qm::GdipDrawImageRectI(g.get(), overlay.get(), 0, 0, 48, 48);
    }
    SaveForLooking(small.get(), "overlay-badge-48.png");
    // The badge still stands out at that size: a body of near-highlight pixels with a
    // bright digit inside it.
    Pixels px(small.get());
    const COLORREF crHighlight = GetSysColor(COLOR_HIGHLIGHT);
    int nBody = 0, nDigit = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 28; x < 48; ++x) {
            if (px.A(x, y) < 250) continue;
            if (abs(px.R(x, y) - GetRValue(crHighlight)) + abs(px.G(x, y) - GetGValue(crHighlight)) +
                    abs(px.B(x, y) - GetBValue(crHighlight)) <
                40)
                ++nBody;
            if (px.R(x, y) > 220 && px.G(x, y) > 220 && px.B(x, y) > 220) ++nDigit;
        }
    EXPECT_GT(nBody, 120);
    EXPECT_GT(nDigit, 6);
}
