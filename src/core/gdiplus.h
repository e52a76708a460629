// GDI+ flat interface and RAII holders for its objects.
#pragma once
#include <windows.h>
#include <objidl.h>
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>
#include "core/unique.h"

namespace qm {
using namespace Gdiplus::DllExports;
using Gdiplus::GpBitmap;
using Gdiplus::GpBrush;
using Gdiplus::GpFont;
using Gdiplus::GpFontFamily;
using Gdiplus::GpGraphics;
using Gdiplus::GpImage;
using Gdiplus::GpPath;
using Gdiplus::GpPen;
using Gdiplus::GpSolidFill;
using Gdiplus::GpStatus;
using Gdiplus::GpStringFormat;

struct GdipGraphicsDeleter { void operator()(GpGraphics* p) const { GdipDeleteGraphics(p); } };
struct GdipImageDeleter { void operator()(GpImage* p) const { GdipDisposeImage(p); } };
struct GdipBitmapDeleter { void operator()(GpBitmap* p) const { GdipDisposeImage(p); } };
struct GdipBrushDeleter { void operator()(GpBrush* p) const { GdipDeleteBrush(p); } };
struct GdipSolidFillDeleter { void operator()(GpSolidFill* p) const { GdipDeleteBrush(p); } };
struct GdipPathDeleter { void operator()(GpPath* p) const { GdipDeletePath(p); } };
struct GdipPenDeleter { void operator()(GpPen* p) const { GdipDeletePen(p); } };
struct GdipStringFormatDeleter { void operator()(GpStringFormat* p) const { GdipDeleteStringFormat(p); } };
struct GdipFontFamilyDeleter { void operator()(GpFontFamily* p) const { GdipDeleteFontFamily(p); } };
struct GdipFontDeleter { void operator()(GpFont* p) const { GdipDeleteFont(p); } };

using GdipGraphicsPtr = UniqueHandle<GpGraphics*, GdipGraphicsDeleter>;
using GdipImagePtr = UniqueHandle<GpImage*, GdipImageDeleter>;
using GdipBitmapPtr = UniqueHandle<GpBitmap*, GdipBitmapDeleter>;
using GdipBrushPtr = UniqueHandle<GpBrush*, GdipBrushDeleter>;
using GdipSolidFillPtr = UniqueHandle<GpSolidFill*, GdipSolidFillDeleter>;
using GdipPathPtr = UniqueHandle<GpPath*, GdipPathDeleter>;
using GdipPenPtr = UniqueHandle<GpPen*, GdipPenDeleter>;
using GdipStringFormatPtr = UniqueHandle<GpStringFormat*, GdipStringFormatDeleter>;
using GdipFontFamilyPtr = UniqueHandle<GpFontFamily*, GdipFontFamilyDeleter>;
using GdipFontPtr = UniqueHandle<GpFont*, GdipFontDeleter>;

// The class identifier of GDI+'s PNG encoder.
inline const CLSID& PngEncoderClsid() {
    static const CLSID clsid = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    return clsid;
}
}  // namespace qm

// GDI+ is started once for the process, counted per user, and shut down with the last
// one. False (with the start-up status in *piStatus) when it could not start.
bool StartGdiplus(int* piStatus);
void StopGdiplus();
