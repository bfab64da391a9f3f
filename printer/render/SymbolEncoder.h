#pragma once
// Barcodes and PDF417 (libzint) and QR codes (libqrencode) as grids of modules, before
// scaling.

#include <string>
#include <vector>

#include "printer/Paper.h"

namespace quillon::printer {

struct ModuleGrid {
    int width = 0;  // modules
    int height = 0;
    std::vector<uint8_t> dark;  // width * height, 1 = dark
    std::string text;           // the human-readable text (barcodes)
    std::string error;          // why nothing could be encoded
    bool At(int x, int y) const { return dark[static_cast<size_t>(y) * width + x]; }
};

// A barcode as one row of modules.
ModuleGrid EncodeBarcode(const Barcode& barcode);
ModuleGrid EncodeQr(const QrCode& qr);
ModuleGrid EncodePdf417(const Pdf417& pdf);

// The characters of a CODE128 barcode whose data carries code set selectors ("{A", "{B",
// "{C" with two-digit values as single bytes, "{{" for a brace).
std::string Code128Text(const std::string& data);

}  // namespace quillon::printer
