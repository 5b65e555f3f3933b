#include "windows/desktop/pictures.h"

#include <objidl.h>
#include <shlwapi.h>
// After windows.h and objidl.h, which it needs.
#include <gdiplus.h>

#include <memory>
#include <stdexcept>

namespace tavorline::win {
namespace {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

struct BitmapDeleter {
    void operator()(GpBitmap* bitmap) const { GdipDisposeImage(bitmap); }
};
using Bitmap = std::unique_ptr<GpBitmap, BitmapDeleter>;

Bitmap decode(int resourceId) {
    const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(resourceId), RT_RCDATA);
    if (!found) return nullptr;
    const HGLOBAL loaded = LoadResource(nullptr, found);
    const auto* bytes = static_cast<const BYTE*>(LockResource(loaded));
    IStream* stream = SHCreateMemStream(bytes, SizeofResource(nullptr, found));
    if (!stream) return nullptr;
    GpBitmap* picture = nullptr;
    GdipCreateBitmapFromStream(stream, &picture);
    stream->Release();
    return Bitmap(picture);
}

ARGB opaque(COLORREF colour) {
    return 0xFF000000u | (ARGB{GetRValue(colour)} << 16) | (ARGB{GetGValue(colour)} << 8) |
           ARGB{GetBValue(colour)};
}

Bitmap drawnAt(const GpBitmap& picture, SIZE size, ARGB background) {
    GpBitmap* canvas = nullptr;
    if (GdipCreateBitmapFromScan0(size.cx, size.cy, 0, PixelFormat32bppARGB, nullptr, &canvas) !=
        Ok) {
        return nullptr;
    }
    Bitmap result(canvas);
    GpGraphics* graphics = nullptr;
    GdipGetImageGraphicsContext(canvas, &graphics);
    GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic);
    GdipSetPixelOffsetMode(graphics, PixelOffsetModeHalf);
    GdipGraphicsClear(graphics, background);
    GdipDrawImageRectI(graphics, const_cast<GpBitmap*>(&picture), 0, 0, size.cx, size.cy);
    GdipDeleteGraphics(graphics);
    return result;
}

}  // namespace

Pictures::Pictures() {
    GdiplusStartupInput input;
    ULONG_PTR session = 0;
    if (GdiplusStartup(&session, &input, nullptr) != Ok) {
        throw std::runtime_error("GDI+ could not start");
    }
    session_ = session;
}

Pictures::~Pictures() { GdiplusShutdown(session_); }

HBITMAP Pictures::bitmap(int resourceId, SIZE size, COLORREF background) const {
    const Bitmap picture = decode(resourceId);
    if (!picture) return nullptr;
    const Bitmap drawn = drawnAt(*picture, size, opaque(background));
    HBITMAP result = nullptr;
    if (drawn) GdipCreateHBITMAPFromBitmap(drawn.get(), &result, opaque(background));
    return result;
}

HICON Pictures::icon(int resourceId, int size) const {
    const Bitmap picture = decode(resourceId);
    if (!picture) return nullptr;
    const Bitmap drawn = drawnAt(*picture, {size, size}, 0);
    HICON result = nullptr;
    if (drawn) GdipCreateHICONFromBitmap(drawn.get(), &result);
    return result;
}

}  // namespace tavorline::win
