#include "printer/app/WindowTexts.h"

#include <cstdlib>
#include <cstring>

namespace quillon {

namespace {

struct Pair {
    const char* english;
    const char* chinese;
};

const Pair kTexts[] = {
    {"Quillon virtual printer", "Quillon 虚拟打印机"},
    {"State:", "状态:"},
    {"Ready", "就绪"},
    {"Paper near end", "纸将尽"},
    {"Paper end", "缺纸"},
    {"Cover open", "纸仓盖打开"},
    {"Drawer:", "钱箱:"},
    {"open", "打开"},
    {"closed", "关闭"},
    {"Open cover", "打开纸仓盖"},
    {"Close cover", "关闭纸仓盖"},
    {"Take out paper", "取出纸卷"},
    {"Put in paper", "装入纸卷"},
    {"Paper running low", "纸卷将尽"},
    {"Fresh paper roll", "换新纸卷"},
    {"Open drawer", "打开钱箱"},
    {"Close drawer", "关闭钱箱"},
    {"Paper", "纸张"},
    {"Received data", "接收数据"},
    {"Ports:", "端口:"},
    {"Pages not drawn (drawing fell behind):", "未绘制的页 (绘制跟不上):"},
    {"Printing, not cut yet", "正在打印，尚未切纸"},
};

}  // namespace

bool ChineseInterface() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return std::strncmp(value, "zh", 2) == 0;
    }
    return false;
}

QString Tr(PrinterText text) {
    static const bool chinese = ChineseInterface();
    const Pair& pair = kTexts[static_cast<int>(text)];
    return QString::fromUtf8(chinese ? pair.chinese : pair.english);
}

}  // namespace quillon
