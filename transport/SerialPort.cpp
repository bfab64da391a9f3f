#include "transport/CommonUtils.h"

// Serial ports arrive with the serial issue; until then they do not open.
int CommonUtils::OpenSerial(WindowRef, int, int, char, int, int, int, int, int, int) {
    return 0;
}

int CommonUtils::OpenSerialByText(int, const char*) {
    return 0;
}

void CommonUtils::StartSerialThread() {}
