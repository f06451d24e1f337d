// Record function numbers and the constants their parameters use.
#pragma once

#include <cstdint>

namespace morvane::wmf {

// The low byte tells the record kind, the high byte how many parameter words
// the classic form of the record holds.
enum RecordFunction : std::uint16_t {
    EndOfFile = 0x0000,
    RealizePalette = 0x0035,
    SetPaletteEntries = 0x0037,
    SetBkMode = 0x0102,
    SetMapMode = 0x0103,
    SetRop2 = 0x0104,
    SetRelAbs = 0x0105,
    SetPolyFillMode = 0x0106,
    SetStretchBltMode = 0x0107,
    SetTextCharExtra = 0x0108,
    RestoreDc = 0x0127,
    ResizePalette = 0x0139,
    DibCreatePatternBrush = 0x0142,
    SetLayout = 0x0149,
    SetBkColor = 0x0201,
    SetTextColor = 0x0209,
    SetTextJustification = 0x020A,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    SetViewportOrg = 0x020D,
    SetViewportExt = 0x020E,
    OffsetWindowOrg = 0x020F,
    OffsetViewportOrg = 0x0211,
    LineTo = 0x0213,
    MoveTo = 0x0214,
    OffsetClipRgn = 0x0220,
    FillRegion = 0x0228,
    SetMapperFlags = 0x0231,
    SelectPalette = 0x0234,
    Polygon = 0x0324,
    Polyline = 0x0325,
    ScaleWindowExt = 0x0410,
    ScaleViewportExt = 0x0412,
    ExcludeClipRect = 0x0415,
    IntersectClipRect = 0x0416,
    Ellipse = 0x0418,
    FloodFill = 0x0419,
    Rectangle = 0x041B,
    SetPixel = 0x041F,
    FrameRegion = 0x0429,
    AnimatePalette = 0x0436,
    TextOut = 0x0521,
    PolyPolygon = 0x0538,
    ExtFloodFill = 0x0548,
    RoundRect = 0x061C,
    PatBlt = 0x061D,
    Escape = 0x0626,
    SaveDc = 0x001E,
    Arc = 0x0817,
    Pie = 0x081A,
    Chord = 0x0830,
    BitBlt = 0x0922,
    DibBitBlt = 0x0940,
    ExtTextOut = 0x0A32,
    StretchBlt = 0x0B23,
    DibStretchBlt = 0x0B41,
    SetDibToDev = 0x0D33,
    StretchDib = 0x0F43,
    InvertRegion = 0x012A,
    PaintRegion = 0x012B,
    SelectClipRegion = 0x012C,
    SelectObject = 0x012D,
    SetTextAlign = 0x012E,
    DeleteObject = 0x01F0,
    CreatePalette = 0x00F7,
    CreatePatternBrush = 0x01F9,
    CreatePenIndirect = 0x02FA,
    CreateFontIndirect = 0x02FB,
    CreateBrushIndirect = 0x02FC,
    CreateBitmapIndirect = 0x02FD,
    CreateBitmap = 0x06FE,
    CreateRegion = 0x06FF,
};

enum MapMode : int {
    MapText = 1,
    MapLoMetric = 2,
    MapHiMetric = 3,
    MapLoEnglish = 4,
    MapHiEnglish = 5,
    MapTwips = 6,
    MapIsotropic = 7,
    MapAnisotropic = 8,
};

enum BackgroundMode : int { BkTransparent = 1, BkOpaque = 2 };
enum PolyFillMode : int { FillAlternate = 1, FillWinding = 2 };

enum PenStyle : int {
    PenSolid = 0,
    PenDash = 1,
    PenDot = 2,
    PenDashDot = 3,
    PenDashDotDot = 4,
    PenNull = 5,
    PenInsideFrame = 6,
    PenStyleMask = 0x000F,
    PenEndCapSquare = 0x0100,
    PenEndCapFlat = 0x0200,
    PenEndCapMask = 0x0F00,
    PenJoinBevel = 0x1000,
    PenJoinMiter = 0x2000,
    PenJoinMask = 0xF000,
};

enum BrushStyle : int {
    BrushSolid = 0,
    BrushNull = 1,
    BrushHatched = 2,
    BrushPattern = 3,
    BrushDibPattern = 5,
    BrushDibPatternPt = 6,
};

enum TextAlign : int {
    AlignUpdateCp = 0x0001,
    AlignRight = 0x0002,
    AlignCenter = 0x0006,
    AlignHorizontalMask = 0x0006,
    AlignBottom = 0x0008,
    AlignBaseline = 0x0018,
    AlignVerticalMask = 0x0018,
};

enum ExtTextOptions : int { TextOpaque = 0x0002, TextClipped = 0x0004 };

enum ColorUsage : int { DibRgbColors = 0, DibPalColors = 1, DibPalIndices = 2 };

enum StretchMode : int { StretchHalftone = 4 };

enum CharSet : int { CharSetAnsi = 0, CharSetSymbol = 2 };

// The raster operations that matter here, by their index byte (bits 16-23
// of a ternary raster operation).
enum RopIndex : int {
    RopBlackness = 0x00,
    RopNotSrcErase = 0x11,
    RopNotSrcCopy = 0x33,
    RopSrcErase = 0x44,
    RopDstInvert = 0x55,
    RopPatInvert = 0x5A,
    RopSrcInvert = 0x66,
    RopSrcAnd = 0x88,
    RopNop = 0xAA,
    RopMergePaint = 0xBB,
    RopMergeCopy = 0xC0,
    RopSrcCopy = 0xCC,
    RopSrcPaint = 0xEE,
    RopPatCopy = 0xF0,
    RopWhiteness = 0xFF,
};

inline constexpr std::uint32_t SrcCopy = 0x00CC0020;

// Bytes of the optional header that gives a metafile its size and resolution.
inline constexpr std::uint32_t PlaceableKey = 0x9AC6CDD7;
inline constexpr int PlaceableHeaderBytes = 22;
inline constexpr int MetaHeaderWords = 9;
inline constexpr int MetaHeaderBytes = MetaHeaderWords * 2;
inline constexpr int RecordHeaderBytes = 6;

} // namespace morvane::wmf
