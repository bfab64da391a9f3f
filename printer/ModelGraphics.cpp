// The printer model's images, barcodes and two-dimensional symbols.

#include <algorithm>

#include "printer/PrinterModel.h"

namespace quillon::printer {
namespace {

constexpr size_t kMaxNvBytes = 4u << 20;
constexpr size_t kMaxNvImages = 64;

uint64_t Word(const uint8_t* p) {
    return p[0] | (uint64_t{p[1]} << 8);
}

int ScaleOf(uint8_t n) {
    return n == 2 || n == '2' ? 2 : 1;
}

// Copies a raster of `width` x `height` dots from `data` when `available` bytes hold it.
bool ReadRaster(const uint8_t* data, size_t available, uint64_t width, uint64_t height,
                Raster& out) {
    const uint64_t bytes = (width + 7) / 8 * height;
    if (width == 0 || height == 0 || bytes > available || width > 65535 || height > 65535)
        return false;
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.bits.assign(data, data + bytes);
    return true;
}

}  // namespace

void PrinterModel::PrintImage(Raster raster, int scaleW, int scaleH) {
    if (!line_.Empty())
        PrintLine();
    const int height = raster.height * scaleH;
    Add(ImageBlock{std::move(raster), scaleW, scaleH, align_}, height);
}

void PrinterModel::RasterImage(const Token& t) {
    if (t.size < 8 || t.clipped()) {
        AddMarker("image too large", t);
        return;
    }
    const uint8_t m = t.data[3];
    const uint64_t rowBytes = Word(t.data + 4);
    Raster raster;
    if (!ReadRaster(t.data + 8, t.size - 8, rowBytes * 8, Word(t.data + 6), raster))
        return;
    const bool wide = m == 1 || m == 3 || m == '1' || m == '3';
    const bool tall = m == 2 || m == 3 || m == '2' || m == '3';
    PrintImage(std::move(raster), wide ? 2 : 1, tall ? 2 : 1);
}

void PrinterModel::ColumnImage(const Token& t) {
    if (t.size < 5 || t.clipped())
        return;
    const uint8_t m = t.data[2];
    const int columns = static_cast<int>(Word(t.data + 3));
    const int dotsHigh = m >= 32 ? 24 : 8;
    const int bytesPerColumn = dotsHigh / 8;
    const int scaleW = (m == 0 || m == 32) ? 2 : 1;
    const int scaleH = m >= 32 ? 1 : 3;
    // Columns past the paper's edge are dropped, as the paper ends there; the line still
    // counts them, so that they are noted.
    const int room = (paperWidth_ - leftMargin_ - line_.Position()) / scaleW;
    const int kept = std::clamp(columns, 0, std::max(room, 0));
    if (columns == 0 || static_cast<size_t>(columns) * bytesPerColumn > t.size - 5)
        return;
    Raster raster;
    raster.width = kept;
    raster.height = dotsHigh;
    raster.bits.assign(static_cast<size_t>(raster.RowBytes()) * dotsHigh, 0);
    for (int x = 0; x < kept; ++x)
        for (int k = 0; k < bytesPerColumn; ++k) {
            const uint8_t column = t.data[5 + x * bytesPerColumn + k];
            for (int bit = 0; bit < 8; ++bit)
                if (column & (0x80 >> bit)) {
                    const int y = k * 8 + bit;
                    raster.bits[static_cast<size_t>(y) * raster.RowBytes() + x / 8] |=
                        0x80 >> (x % 8);
                }
        }
    line_.AddImage(LineImage{0, scaleW, scaleH, std::move(raster)}, columns * scaleW,
                   dotsHigh * scaleH);
}

void PrinterModel::GraphicsCommand(const Token& t, size_t p) {
    if (t.size < p + 2 || t.clipped()) {
        AddMarker("image too large", t);
        return;
    }
    const uint8_t fn = t.data[p + 1];
    const uint8_t* d = t.data + p;
    const size_t have = t.size - p;
    switch (fn) {
        case 112:  // store in the graphics buffer: m fn a bx by c xL xH yL yH data
            if (have >= 10 && (d[5] == 49 || d[5] == 48) &&
                ReadRaster(d + 10, have - 10, Word(d + 6), Word(d + 8), graphics_)) {
                graphicsScaleW_ = ScaleOf(d[3]);
                graphicsScaleH_ = ScaleOf(d[4]);
            }
            break;
        case 2:
        case 50:  // print the graphics buffer
            if (graphics_.width > 0) {
                PrintImage(std::move(graphics_), graphicsScaleW_, graphicsScaleH_);
                graphics_ = Raster{};
            }
            break;
        case 67: {  // keep in NV memory: m fn a kc1 kc2 b xL xH yL yH c data
            Raster raster;
            if (have < 11 || !ReadRaster(d + 11, have - 11, Word(d + 6), Word(d + 8), raster))
                break;
            const uint16_t key = static_cast<uint16_t>(d[3] << 8 | d[4]);
            const auto old = nvGraphics_.find(key);
            if (old != nvGraphics_.end()) {
                nvBytes_ -= old->second.bits.size();
                nvGraphics_.erase(old);
            }
            if (nvGraphics_.size() >= kMaxNvImages || nvBytes_ + raster.bits.size() > kMaxNvBytes) {
                AddMarker("NV memory full", t);
                break;
            }
            nvBytes_ += raster.bits.size();
            nvGraphics_[key] = std::move(raster);
            break;
        }
        case 69: {  // print from NV memory: m fn kc1 kc2 x y
            if (have < 6)
                break;
            const auto found = nvGraphics_.find(static_cast<uint16_t>(d[2] << 8 | d[3]));
            if (found == nvGraphics_.end())
                AddMarker("no NV image", t);
            else
                PrintImage(found->second, ScaleOf(d[4]), ScaleOf(d[5]));
            break;
        }
        case 65:  // forget every NV image
            nvGraphics_.clear();
            nvBytes_ = 0;
            break;
        case 66:
            if (have >= 4) {
                const auto found = nvGraphics_.find(static_cast<uint16_t>(d[2] << 8 | d[3]));
                if (found != nvGraphics_.end()) {
                    nvBytes_ -= found->second.bits.size();
                    nvGraphics_.erase(found);
                }
            }
            break;
        case 113:
        case 68:
        case 83:
        case 84:
            AddMarker("column graphics", t);
            break;
        default:
            break;  // capacities, key lists and settings: nothing on paper
    }
}

void PrinterModel::BarcodeCommand(const Token& t) {
    if (t.size < 3)
        return;
    const uint8_t m = t.data[2];
    std::string data;
    if (m <= 6) {
        const size_t end = t.data[t.size - 1] == 0 ? t.size - 1 : t.size;
        data.assign(reinterpret_cast<const char*>(t.data) + 3, end > 3 ? end - 3 : 0);
    } else if (t.size >= 4) {
        data.assign(reinterpret_cast<const char*>(t.data) + 4, t.size - 4);
    }
    const int type = m <= 6 ? m + 65 : m;
    if (type < 65 || type > 78 || data.empty()) {
        AddMarker("barcode", t);
        return;
    }
    if (!line_.Empty())
        PrintLine();
    const int hri = (barcode_.hriPosition & 1 ? 24 : 0) + (barcode_.hriPosition & 2 ? 24 : 0);
    Add(Barcode{type, std::move(data), barcode_.height, barcode_.moduleWidth, barcode_.hriPosition,
                barcode_.hriFont, align_},
        barcode_.height + hri);
}

void PrinterModel::SymbolCommand(const Token& t) {
    if (t.size < 7)
        return;
    const uint8_t cn = t.data[5];
    const uint8_t fn = t.data[6];
    const uint8_t n = t.size > 7 ? t.data[7] : 0;
    if (cn == 48) {
        Pdf417Command(t, fn, n);
        return;
    }
    if (cn != 49) {
        if (fn == 81)
            AddMarker("symbol", t);
        return;
    }
    switch (fn) {
        case 67:
            if (n >= 1 && n <= 16)
                qr_.moduleSize = n;
            break;
        case 69:
            if (n >= 48 && n <= 51)
                qr_.level = "LMQH"[n - 48];
            break;
        case 80:
            qr_.data.assign(reinterpret_cast<const char*>(t.data) + std::min<size_t>(8, t.size),
                            reinterpret_cast<const char*>(t.data) + t.size);
            break;
        case 81: {
            if (qr_.data.empty())
                break;
            if (!line_.Empty())
                PrintLine();
            // About how tall the symbol will be, for cutting the roll into pages.
            const int side = static_cast<int>(21 + qr_.data.size() / 4) * qr_.moduleSize;
            Add(QrCode{qr_.data, qr_.moduleSize, qr_.level, align_}, side);
            break;
        }
        default:
            break;
    }
}

// PDF417: GS ( k with cn 48; n is the byte after fn.
void PrinterModel::Pdf417Command(const Token& t, uint8_t fn, uint8_t n) {
    switch (fn) {
        case 65:
            if (n <= 30)
                pdf417_.columns = n;
            break;
        case 66:
            if (n == 0 || (n >= 3 && n <= 90))
                pdf417_.rows = n;
            break;
        case 67:
            if (n >= 2 && n <= 8)
                pdf417_.moduleWidth = n;
            break;
        case 68:
            if (n >= 2 && n <= 8)
                pdf417_.rowHeight = n;
            break;
        case 69: {
            // m = 48: a level 0 to 8; m = 49: a ratio to the data, left to the encoder.
            const uint8_t level = t.size > 8 ? t.data[8] : 0;
            if (n == 48 && level >= 48 && level <= 56)
                pdf417_.level = level - 48;
            else if (n == 49)
                pdf417_.level = -1;
            break;
        }
        case 70:
            pdf417_.truncated = n & 1;
            break;
        case 80:
            pdf417_.data.assign(reinterpret_cast<const char*>(t.data) + std::min<size_t>(8, t.size),
                                reinterpret_cast<const char*>(t.data) + t.size);
            break;
        case 81: {
            if (pdf417_.data.empty())
                break;
            if (!line_.Empty())
                PrintLine();
            const int rowHeight = pdf417_.rowHeight * pdf417_.moduleWidth;
            // About how tall the symbol will be, for cutting the roll into pages.
            const int rows =
                pdf417_.rows > 0 ? pdf417_.rows : 3 + static_cast<int>(pdf417_.data.size()) / 8;
            Add(Pdf417{pdf417_.data, pdf417_.columns, pdf417_.rows, pdf417_.moduleWidth, rowHeight,
                       pdf417_.level, pdf417_.truncated, align_},
                rows * rowHeight);
            break;
        }
        default:
            break;
    }
}

}  // namespace quillon::printer
