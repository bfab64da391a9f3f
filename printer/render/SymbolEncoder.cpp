#include "printer/render/SymbolEncoder.h"

#include <qrencode.h>
#include <zint.h>

#include <memory>

namespace quillon::printer {
namespace {

struct ZintSymbol {
    zint_symbol* symbol = ZBarcode_Create();
    ~ZintSymbol() { ZBarcode_Delete(symbol); }
};

std::string Strip(const std::string& data, char mark) {
    std::string s = data;
    if (s.size() >= 2 && s.front() == mark && s.back() == mark)
        s = s.substr(1, s.size() - 2);
    return s;
}

// GS1 data as zint reads it: the application identifiers in brackets, or in parentheses as
// the printer's data has them; blanks only space out the human-readable line.
std::string Gs1Data(const std::string& data, int& inputMode) {
    std::string s;
    for (char c : data)
        if (c != ' ')
            s += c;
    inputMode = GS1_MODE | (s.find('(') != std::string::npos ? GS1PARENS_MODE : 0);
    return s;
}

// The zint symbology and data for a barcode type; 0 when zint has none.
int Symbology(const Barcode& b, std::string& data, int& inputMode) {
    data = b.data;
    inputMode = DATA_MODE;
    const size_t n = data.size();
    switch (b.type) {
        case 65:
            return n >= 12 ? BARCODE_UPCA_CHK : BARCODE_UPCA;
        case 66:
            return n == 8 || n == 12 ? BARCODE_UPCE_CHK : BARCODE_UPCE;
        case 67:
        case 68:
            return (b.type == 67 ? n >= 13 : n >= 8) ? BARCODE_EANX_CHK : BARCODE_EANX;
        case 69:
            data = Strip(data, '*');
            return BARCODE_CODE39;
        case 70:
            return BARCODE_C25INTER;
        case 71:
            return BARCODE_CODABAR;
        case 72:
            return BARCODE_CODE93;
        case 73:
            data = Code128Text(data);
            return BARCODE_CODE128;
        case 74:
            data = Gs1Data(data, inputMode);
            return BARCODE_GS1_128;
        case 75:
        case 76:  // truncated: the same modules, less tall
            return BARCODE_DBAR_OMN;
        case 77:
            return BARCODE_DBAR_LTD;
        case 78:
            data = Gs1Data(data, inputMode);
            return BARCODE_DBAR_EXP;
        default:
            return 0;
    }
}

}  // namespace

std::string Code128Text(const std::string& data) {
    if (data.size() < 2 || data[0] != '{')
        return data;
    std::string text;
    bool setC = false;
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i] == '{' && i + 1 < data.size()) {
            const char code = data[++i];
            if (code == '{')
                text += '{';
            else if (code == 'A' || code == 'B' || code == 'C')
                setC = code == 'C';
            continue;  // FNC1-4 and shifts have no text
        }
        if (setC) {
            const int value = static_cast<unsigned char>(data[i]);
            text += static_cast<char>('0' + value / 10 % 10);
            text += static_cast<char>('0' + value % 10);
        } else {
            text += data[i];
        }
    }
    return text;
}

ModuleGrid EncodeBarcode(const Barcode& barcode) {
    ModuleGrid grid;
    std::string data;
    int inputMode = DATA_MODE;
    const int symbology = Symbology(barcode, data, inputMode);
    if (symbology == 0 || data.empty()) {
        grid.error = "barcode type " + std::to_string(barcode.type);
        return grid;
    }
    ZintSymbol z;
    z.symbol->symbology = symbology;
    z.symbol->input_mode = inputMode;
    const int result =
        ZBarcode_Encode(z.symbol, reinterpret_cast<const unsigned char*>(data.data()),
                        static_cast<int>(data.size()));
    if (result >= ZINT_ERROR || z.symbol->width <= 0) {
        grid.error = z.symbol->errtxt;
        return grid;
    }
    grid.width = z.symbol->width;
    grid.height = 1;
    grid.dark.resize(grid.width);
    const int row = z.symbol->rows - 1;
    for (int x = 0; x < grid.width; ++x)
        grid.dark[x] = (z.symbol->encoded_data[row][x >> 3] >> (x & 7)) & 1;
    grid.text = reinterpret_cast<const char*>(z.symbol->text);
    if (grid.text.empty())
        grid.text = data;
    return grid;
}

ModuleGrid EncodePdf417(const Pdf417& pdf) {
    ModuleGrid grid;
    ZintSymbol z;
    z.symbol->symbology = pdf.truncated ? BARCODE_PDF417COMP : BARCODE_PDF417;
    z.symbol->input_mode = DATA_MODE;
    z.symbol->option_1 = pdf.level;
    z.symbol->option_2 = pdf.columns;
    z.symbol->option_3 = pdf.rows;
    const int result =
        ZBarcode_Encode(z.symbol, reinterpret_cast<const unsigned char*>(pdf.data.data()),
                        static_cast<int>(pdf.data.size()));
    if (result >= ZINT_ERROR || z.symbol->width <= 0) {
        grid.error = z.symbol->errtxt;
        return grid;
    }
    grid.width = z.symbol->width;
    grid.height = z.symbol->rows;
    grid.dark.resize(static_cast<size_t>(grid.width) * grid.height);
    for (int y = 0; y < grid.height; ++y)
        for (int x = 0; x < grid.width; ++x)
            grid.dark[static_cast<size_t>(y) * grid.width + x] =
                (z.symbol->encoded_data[y][x >> 3] >> (x & 7)) & 1;
    return grid;
}

ModuleGrid EncodeQr(const QrCode& qr) {
    ModuleGrid grid;
    QRecLevel level = QR_ECLEVEL_L;
    switch (qr.level) {
        case 'M':
            level = QR_ECLEVEL_M;
            break;
        case 'Q':
            level = QR_ECLEVEL_Q;
            break;
        case 'H':
            level = QR_ECLEVEL_H;
            break;
        default:
            break;
    }
    std::unique_ptr<QRcode, void (*)(QRcode*)> code(
        QRcode_encodeData(static_cast<int>(qr.data.size()),
                          reinterpret_cast<const unsigned char*>(qr.data.data()), 0, level),
        QRcode_free);
    if (!code) {
        grid.error = "QR code too long";
        return grid;
    }
    grid.width = grid.height = code->width;
    grid.dark.resize(static_cast<size_t>(grid.width) * grid.height);
    for (size_t i = 0; i < grid.dark.size(); ++i)
        grid.dark[i] = code->data[i] & 1;
    return grid;
}

}  // namespace quillon::printer
