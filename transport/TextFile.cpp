#include "transport/TextFile.h"

namespace quillon {

bool WriteWithCrLf(std::FILE* file, std::string_view text) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        if (end > start && std::fwrite(text.data() + start, 1, end - start, file) != end - start)
            return false;
        if (lf == std::string_view::npos)
            break;
        if (std::fwrite("\r\n", 1, 2, file) != 2)
            return false;
        start = lf + 1;
    }
    return true;
}

}  // namespace quillon
