#include "app/picture_display.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/display_layout.h"
#include "app/info_box_message.h"
#include "app/read_ahead.h"
#include "app/shell_paths.h"
#include "app/viewer_state.h"
#include "app/viewer_window.h"
#include "browse/scoped_handles.h"
#include "image/dib_image.h"
#include "image/dib_resample.h"
#include "image/picture_loader.h"
#include "image/picture_pipeline.h"
#include "image/transforms.h"

namespace {

// Size and last-write time of the shown file, for the information box.
void RecordPictureFacts(ViewerState& v, int colorDepth) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(v.CurrentPath, GetFileExInfoStandard, &data)) {
        const ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        const ULONGLONG kib = size / 1024;
        v.PictureFileKiB = kib == 0 ? 1 : static_cast<DWORD>(kib > 0xFFFFFFFFull ? 0xFFFFFFFFull : kib);
        v.PictureWriteTime = data.ftLastWriteTime;
    }
    v.PictureColorDepth = colorDepth;
}

bool AnyClearPixel(const LockedDib& dib) {
    const size_t count = size_t(dib.header->biWidth) * size_t(DibRows(*dib.header));
    for (size_t i = 0; i < count; ++i)
        if (dib.pixels[4 * i + 3] != 255) return true;
    return false;
}

// A 24-bit bottom-up DIB section: a device bitmap whose pixels the fit
// pass reads and writes directly, without a copy.
HBITMAP CreatePixelSection(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader = Dib24Header(width, height);
    if (info.bmiHeader.biSizeImage == 0) return nullptr;
    void* bits = nullptr;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

// The pixels of a bitmap made by CreatePixelSection, or rows of null pixels
// for any other bitmap.
PixelRows24 SectionRows(HBITMAP bitmap) {
    DIBSECTION section{};
    if (!bitmap || GetObjectA(bitmap, sizeof section, &section) != sizeof section ||
        section.dsBm.bmBitsPixel != 24 || !section.dsBm.bmBits) {
        return PixelRows24{nullptr, 0, 0, 0, false};
    }
    return PixelRows24{static_cast<BYTE*>(section.dsBm.bmBits), section.dsBm.bmWidth, section.dsBm.bmHeight,
                       size_t(section.dsBm.bmWidthBytes), false};
}

// Keeps a scaled picture (a DIB section) in the display's own format, in a
// memory DC of its own, so that each paint is a plain copy with nothing to
// convert. Null when it cannot.
HBITMAP KeepFitted(const PixelRows24& target) {
    ViewerState& v = Viewer();
    WindowDC dc(nullptr);
    GdiObject<HBITMAP> fitted(CreateCompatibleBitmap(dc, target.width, target.height));
    BITMAPINFO info{};
    info.bmiHeader = Dib24Header(target.width, target.height);
    if (!fitted.get() || !SetDIBits(dc, fitted, 0, target.height, target.pixels, &info, DIB_RGB_COLORS))
        return nullptr;
    HDC memory = CreateCompatibleDC(dc);
    if (!memory) return nullptr;
    DropFittedPicture();
    v.FittedSize = SIZE{target.width, target.height};
    v.FittedBitmap = fitted.release();
    v.FittedDC = memory;
    SelectObject(memory, v.FittedBitmap);
    return v.FittedBitmap;
}

// The kept fitted picture for a still (unspun) fit rectangle: made by area
// averaging from the shown picture when its size changed, except while the
// user drags the frame, when the last one is stretched to follow it and the
// sharp pass waits for WM_EXITSIZEMOVE. Null where none can be kept (the
// option is off or the shown bitmap holds no pixels of its own).
HBITMAP FittedPicture(const DrawRect& still) {
    ViewerState& v = Viewer();
    if (!v.Settings.KeepFittedPicture || still.width < 1 || still.height < 1) return nullptr;
    if (v.FittedBitmap && (v.Resizing || (v.FittedSize.cx == still.width && v.FittedSize.cy == still.height)))
        return v.FittedBitmap;
    const PixelRows24 source = SectionRows(v.ShownBitmap);
    if (!source.pixels) return nullptr;
    // Scaled into a DIB section, then kept in the display's own format, so
    // that each paint is a plain copy with nothing to convert.
    GdiObject<HBITMAP> scaled(CreatePixelSection(still.width, still.height));
    const PixelRows24 target = SectionRows(scaled);
    if (!target.pixels) return nullptr;
    GdiFlush();
    ResampleArea24(source, target);
    return KeepFitted(target);
}

// Turns the loaded DibImage into the shown bitmap, in the current
// orientation. Frees both blocks.
bool MakeShownBitmap(HWND window, HLOCAL header, HLOCAL pixels, int* colorDepth) {
    ViewerState& v = Viewer();
    LockedDib dib(header, pixels);
    if (!dib.header || !dib.pixels) return false;
    // The depth the information box shows is the picture's own, before a
    // turn converts it to 24 bits.
    *colorDepth = dib.header->biBitCount;
    WindowDC dc(window);
    // A turn that cannot be made (no memory for it) leaves the picture as it
    // was: shown unturned rather than not at all.
    // A picture with coverage turns keeping its fourth byte.
    const bool coverage = HasCoverage(PictureDisplayOptions(), *dib.header);
    if (v.CurrentOrientation != 0 &&
        !(coverage && OrientDibKeepingDepth(dib.header, dib.pixels, v.CurrentOrientation)))
        ApplyOrientation(dc, dib.header, dib.pixels, v.CurrentOrientation);
    const int width = std::abs(dib.header->biWidth);
    const int height = DibRows(*dib.header);
    DropShownBitmap(window);
    // Coverage stays in a 32-bit section, blended over the background at
    // each paint; an opaque picture becomes a 24-bit section the fit pass
    // reads (or, with the fitted picture not kept, a device bitmap).
    v.ShownCoverage = HasCoverage(PictureDisplayOptions(), *dib.header) && AnyClearPixel(dib);
    void* bits = nullptr;
    GdiObject<HBITMAP> bitmap(v.ShownCoverage ? CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(dib.header),
                                                                 DIB_RGB_COLORS, &bits, nullptr, 0)
                              : v.Settings.KeepFittedPicture ? CreatePixelSection(width, height)
                                                             : CreateCompatibleBitmap(dc, width, height));
    if (!bitmap.get()) return false;
    if (bits) {
        std::memcpy(bits, dib.pixels, size_t(DibPixelBytes(*dib.header)));
    } else if (!SetDIBits(dc, bitmap, 0, height, dib.pixels, reinterpret_cast<BITMAPINFO*>(dib.header),
                          DIB_RGB_COLORS)) {
        return false;
    }
    // The dimension carries the pixel size to whoever reads the bitmap.
    SetBitmapDimensionEx(bitmap, width, height, nullptr);
    v.ShownBitmap = bitmap.release();
    return true;
}

void LayOutWindow(HWND window) {
    ViewerState& v = Viewer();
    RECT frame{100, 100, 100 + v.PictureSize.cx, 100 + v.PictureSize.cy};
    AdjustWindowRect(&frame, v.TitleBarOn ? kStyleWithTitle : kStyleBare, FALSE);
    if (!v.Settings.KeepWindowSize) {
        int width = frame.right - frame.left;
        int height = frame.bottom - frame.top;
        v.OverflowX = width > v.ScreenSize.cx;
        if (v.OverflowX) width = v.ScreenSize.cx;
        v.OverflowY = height > v.ScreenSize.cy;
        if (v.OverflowY) height = v.ScreenSize.cy;
        MoveWindow(window, v.WindowOrigin.x, v.WindowOrigin.y, width, height, TRUE);
    } else if (v.Settings.FitToWindow) {
        v.OverflowX = v.OverflowY = 0;
    } else {
        v.OverflowX = v.PictureSize.cx > v.ClientSize.cx;
        v.OverflowY = v.PictureSize.cy > v.ClientSize.cy;
    }
}

// Moves one scroll position by delta inside the picture; the step actually
// taken (0 in a direction without overflow).
int MoveScroll(int overflow, int& scroll, int delta, int pictureLength, int clientLength) {
    if (!overflow || delta == 0) return 0;
    const int moved = ClampScroll(scroll, delta, pictureLength, clientLength);
    delta = moved - scroll;
    scroll = moved;
    return delta;
}

void FillBlack(HDC dc, int left, int top, int right, int bottom) {
    if (right <= left || bottom <= top) return;
    RECT band{left, top, right, bottom};
    FillRect(dc, &band, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

// The brush of the background: 8 x 8 cells of two greys repeat every 16
// pixels, or one colour.
HBRUSH MakeBackgroundBrush(const Background& background) {
    if (!background.checkerboard) return CreateSolidBrush(background.colour);
    BITMAPINFOHEADER fields = Dib24Header(2 * kCheckerCell, -2 * kCheckerCell);
    BYTE cells[2 * kCheckerCell * 2 * kCheckerCell * 3];
    for (int i = 0; i < 4 * kCheckerCell * kCheckerCell; ++i)
        BackgroundAt(background, i % (2 * kCheckerCell), i / (2 * kCheckerCell), cells + 3 * i);
    struct {
        BITMAPINFOHEADER header;
        BYTE pixels[sizeof cells];
    } packed;
    packed.header = fields;
    std::memcpy(packed.pixels, cells, sizeof cells);
    return CreateDIBPatternBrushPt(&packed, DIB_RGB_COLORS);
}

// Copies (or stretches) the shown picture; a picture with coverage is
// blended over the background, whose cells start at the picture's corner
// (x0, y0) on screen so that they move with it when it scrolls. A mirrored
// spin frame (negative width) blends the picture unmirrored.
void DrawShown(HDC dc, HDC source, int x, int y, int width, int height, int sx, int sy, int sw, int sh,
               POINT corner) {
    ViewerState& v = Viewer();
    if (!v.ShownCoverage) {
        StretchBlt(dc, x, y, width, height, source, sx, sy, sw, sh, SRCCOPY);
        return;
    }
    if (width < 0) x += width, width = -width;
    RECT area{x, y, x + width, y + height};
    GdiObject<HBRUSH> brush(MakeBackgroundBrush(PictureDisplayOptions().background));
    SetBrushOrgEx(dc, corner.x, corner.y, nullptr);
    FillRect(dc, &area, brush);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    GdiAlphaBlend(dc, x, y, width, height, source, sx, sy, sw, sh, blend);
}

// Stretches source (picture pixels) into the drawn rectangle: halftone from
// the whole picture, or a plain fast stretch of the kept fitted picture,
// which is already smooth and close to the drawn size.
void StretchInto(HDC dc, HDC source, SIZE picture, const DrawRect& drawn, bool fromFitted) {
    SetStretchBltMode(dc, fromFitted ? COLORONCOLOR : HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    DrawShown(dc, source, drawn.x, drawn.y, drawn.width, drawn.height, 0, 0, picture.cx, picture.cy,
              POINT{drawn.x, drawn.y});
}
}  // namespace

namespace {
void TitleRefusedPicture(HWND window) {
    const char* name = TitleFileName(Viewer().CurrentPath);
    if (!name) return;
    const std::string title = std::string(name) + " - 画像が大きすぎて表示できません";
    SetWindowTextA(window, title.c_str());
}

// Draws a spinning frame: black bands beside it wipe out the wider frame
// drawn before, then the picture is stretched (mirrored when width < 0).
void DrawSpinFrame(HDC dc, HDC source, SIZE picture, SIZE client, const DrawRect& drawn,
                   bool fromFitted = false) {
    const SideBands bands = SpinSideBands(drawn);
    FillBlack(dc, 0, drawn.y, bands.left, drawn.y + drawn.height);
    FillBlack(dc, bands.right, drawn.y, client.cx, drawn.y + drawn.height);
    StretchInto(dc, source, picture, drawn, fromFitted);
}

// Fit display from the kept fitted picture: a copy when it has the drawn
// size, else a fast stretch (a spin frame, or the frame being dragged).
// False when no fitted picture can be kept.
bool PaintFitted(HDC dc, SIZE picture, SIZE client, const DrawRect& drawn, bool animate) {
    const DrawRect still = animate ? FitDrawRect(picture, client, false, 0) : drawn;
    HBITMAP fitted = FittedPicture(still);
    if (!fitted) return false;
    const SIZE size = Viewer().FittedSize;
    HDC source = Viewer().FittedDC;
    if (animate) {
        DrawSpinFrame(dc, source, size, client, drawn, true);
    } else if (size.cx == drawn.width && size.cy == drawn.height) {
        BitBlt(dc, drawn.x, drawn.y, drawn.width, drawn.height, source, 0, 0, SRCCOPY);
    } else {
        StretchInto(dc, source, size, drawn, true);
    }
    return true;
}
}  // namespace

void DropShownBitmap(HWND window) {
    ViewerState& v = Viewer();
    DropFittedPicture();
    if (v.ShownBitmap) DeletePictureBitmap(window, v.ShownBitmap);
    v.ShownBitmap = nullptr;
    v.ShownCoverage = false;
}

void DropFittedPicture() {
    ViewerState& v = Viewer();
    // The DC goes first: a bitmap selected into one cannot be deleted.
    if (v.FittedDC) DeleteDC(v.FittedDC);
    v.FittedDC = nullptr;
    if (v.FittedBitmap) DeleteObject(v.FittedBitmap);
    v.FittedBitmap = nullptr;
    v.FittedSize = SIZE{0, 0};
}

void ShowPicture(HWND window) {
    ViewerState& v = Viewer();
    SetCursor(v.WaitCursor);
    HLOCAL header = nullptr, pixels = nullptr;
    int colorDepth = 0;
    // A picture read ahead is already the bitmap the load and the turn
    // below would make of the file.
    HBITMAP ahead = nullptr, aheadFitted = nullptr;
    if (TakeReadAheadPicture(&ahead, &colorDepth, &aheadFitted)) {
        DropShownBitmap(window);
        BITMAP facts;
        GetObjectA(ahead, sizeof facts, &facts);
        SetBitmapDimensionEx(ahead, facts.bmWidth, facts.bmHeight, nullptr);
        v.ShownBitmap = ahead;
        // Scaled ahead for the client as it was; the first paint scales
        // afresh if the window's new layout draws it at another size.
        GdiObject<HBITMAP> scaled(aheadFitted);
        const PixelRows24 rows = SectionRows(scaled);
        if (rows.pixels) KeepFitted(rows);
    }
    const bool loaded =
        ahead || (v.CurrentPath[0] && LoadDisplayPicture(v.CurrentPath, nullptr, 0, &header, &pixels));
    if (!ahead && (!loaded || !MakeShownBitmap(window, header, pixels, &colorDepth))) {
        // A picture that cannot be shown leaves the window's size and the
        // picture size as they were: a black client area is the only change.
        // The title stays too, unless the picture was refused for its size
        // (no block or device bitmap can hold it): then the title says so,
        // as the black window would otherwise pass for a broken file.
        if (v.Settings.TellRefusedPictures && (loaded || LastLoadError == kLoadOutOfMemory))
            TitleRefusedPicture(window);
        DropShownBitmap(window);
        InvalidateRect(window, nullptr, TRUE);
        v.SwitchCounter = 0;
        v.ReadAheadDue = 1;
        SetCursor(v.ArrowCursor);
        if (v.InfoBOXWindow) SendMessageA(v.InfoBOXWindow, WM_INFOBOXREFRESH, 0, 0);
        return;
    }
    RecordPictureFacts(v, colorDepth);
    BITMAP facts;
    GetObjectA(v.ShownBitmap, sizeof facts, &facts);
    v.PictureSize = SIZE{facts.bmWidth, facts.bmHeight};
    LayOutWindow(window);
    v.ScrollX = v.ScrollY = 0;
    RECT rect;
    GetWindowRect(window, &rect);
    v.WindowOrigin = POINT{rect.left, rect.top};
    GetClientRect(window, &rect);
    v.ClientSize = SIZE{rect.right, rect.bottom};
    InvalidateRect(window, nullptr, TRUE);
    if (const char* name = TitleFileName(v.CurrentPath)) SetWindowTextA(window, name);
    v.SwitchCounter = 0;
    v.ReadAheadDue = 1;
    SetCursor(v.ArrowCursor);
    if (v.InfoBOXWindow) SendMessageA(v.InfoBOXWindow, WM_INFOBOXREFRESH, 0, 0);
}

bool EraseAroundPicture(HDC dc) {
    const ViewerState& v = Viewer();
    if (!v.ShownBitmap || !v.Settings.FitToWindow || !v.Settings.KeepFittedPicture || v.Settings.Animate)
        return false;
    const DrawRect drawn = FitDrawRect(v.PictureSize, v.ClientSize, false, 0);
    if (drawn.width < 1 || drawn.height < 1) return false;
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, drawn.x, drawn.y, drawn.x + drawn.width, drawn.y + drawn.height);
    RECT client{0, 0, v.ClientSize.cx, v.ClientSize.cy};
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    RestoreDC(dc, saved);
    return true;
}

int PaintPicture(HWND, HDC dc) {
    ViewerState& v = Viewer();
    if (!v.ShownBitmap) return 1;
    const SIZE client = v.ClientSize;
    const bool animate = v.Settings.Animate != 0;
    // PictureSize is the shown bitmap's size (ShowPicture sets both).
    if (v.Settings.FitToWindow &&
        PaintFitted(dc, v.PictureSize, client, FitDrawRect(v.PictureSize, client, animate, v.AnimPhase),
                    animate)) {
        return 1;
    }
    BITMAP facts;
    GetObjectA(v.ShownBitmap, sizeof facts, &facts);
    const SIZE picture{facts.bmWidth, facts.bmHeight};
    MemoryDC source(dc);
    SelectedObject selected(source, v.ShownBitmap);

    if (v.Settings.FitToWindow) {
        const DrawRect drawn = FitDrawRect(picture, client, animate, v.AnimPhase);
        if (animate) {
            DrawSpinFrame(dc, source, picture, client, drawn);
        } else {
            SetStretchBltMode(dc, HALFTONE);
            SetBrushOrgEx(dc, 0, 0, nullptr);
            DrawShown(dc, source, drawn.x, drawn.y, drawn.width, drawn.height, 0, 0, picture.cx, picture.cy,
                      POINT{drawn.x, drawn.y});
        }
        return 1;
    }

    const POINT origin = TrueSizeOrigin(picture, client);
    if (picture.cx < client.cx) v.ScrollX = 0;
    if (picture.cy < client.cy) v.ScrollY = 0;
    if (!v.OverflowX && !v.OverflowY && animate) {
        DrawSpinFrame(dc, source, picture, client,
                      TrueSizeSpinRect(picture, client, v.AnimPhase, v.Settings.RotationParam));
        return 1;
    }
    if (v.ShownCoverage) {
        // Only the part of the picture in the client area is blended.
        const int width = std::min<int>(client.cx, picture.cx - v.ScrollX);
        const int height = std::min<int>(client.cy, picture.cy - v.ScrollY);
        if (width > 0 && height > 0)
            DrawShown(dc, source, origin.x, origin.y, width, height, v.ScrollX, v.ScrollY, width, height,
                      POINT{origin.x - v.ScrollX, origin.y - v.ScrollY});
        return 1;
    }
    BitBlt(dc, origin.x, origin.y, client.cx, client.cy, source, v.ScrollX, v.ScrollY, SRCCOPY);
    return 1;
}

int ScrollPicture(HWND window, int dx, int dy) {
    ViewerState& v = Viewer();
    dy = MoveScroll(v.OverflowY, v.ScrollY, dy, v.PictureSize.cy, v.ClientSize.cy);
    dx = MoveScroll(v.OverflowX, v.ScrollX, dx, v.PictureSize.cx, v.ClientSize.cx);
    // Move what is already on screen and draw only the strip uncovered.
    WindowDC dc(window);
    RECT client{0, 0, v.ClientSize.cx, v.ClientSize.cy};
    GdiObject<HRGN> uncovered(CreateRectRgn(0, 0, 0, 0));
    ScrollDC(dc, -dx, -dy, &client, &client, uncovered, nullptr);
    SelectClipRgn(dc, uncovered);
    PaintPicture(window, dc);
    SelectClipRgn(dc, nullptr);
    return 0;
}

void RefreshOverflow(HWND window) {
    ViewerState& v = Viewer();
    RECT rect;
    GetClientRect(window, &rect);
    v.ClientSize = SIZE{rect.right, rect.bottom};
    if (!v.Settings.FitToWindow && v.ShownBitmap) {
        v.OverflowX = v.PictureSize.cx > v.ClientSize.cx;
        v.OverflowY = v.PictureSize.cy > v.ClientSize.cy;
    } else {
        v.OverflowX = v.OverflowY = 0;
    }
}

void FollowDisplayProfile(HWND window, bool force) {
    static HMONITOR monitor = nullptr;
    HMONITOR now = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (!force && now == monitor) return;
    monitor = now;
    DisplayProfile profile = DisplayProfileOf(window);
    DisplayOptions& options = PictureDisplayOptions();
    if (SameDisplayProfile(profile, options.displayProfile)) return;
    options.displayProfile = std::move(profile);
    if (Viewer().ShownBitmap) ShowPicture(window);
}
