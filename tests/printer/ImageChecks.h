#pragma once
// Looking at printed pages: ink in an area, and symbols read back with zbarimg.

#include <QImage>
#include <QRect>
#include <QString>

#include <cstdio>
#include <string>

inline bool Black(const QImage& image, int x, int y) {
    return qGray(image.pixel(x, y)) < 128;
}

inline int BlackIn(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += Black(image, x, y);
    return count;
}

// Rows that look like the dashed cut line: dashes 8 dots long, every 12 dots, across the paper.
inline int CutLineRows(const QImage& image) {
    int rows = 0;
    for (int y = 0; y < image.height(); ++y) {
        int dashes = 0;
        int run = 0;
        for (int x = 0; x <= image.width(); ++x) {
            if (x < image.width() && Black(image, x, y)) {
                ++run;
                continue;
            }
            dashes += run == 8;
            run = 0;
        }
        rows += dashes >= image.width() / 12 - 6;
    }
    return rows;
}

// What zbarimg reads in a PNG, one "TYPE:data" line per symbol.
inline std::string Scan(const QString& path) {
    const std::string command = "zbarimg -q '" + path.toStdString() + "' 2>/dev/null";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buf[512];
        while (size_t n = fread(buf, 1, sizeof buf, pipe))
            out.append(buf, n);
        pclose(pipe);
    }
    return out;
}
