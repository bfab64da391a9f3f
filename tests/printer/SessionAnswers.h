#pragma once
// Collecting a printer session's answers in a test, as the receiving thread would.

#include <gtest/gtest.h>
#include <poll.h>

#include <string>

#include "printer/app/PrinterSession.h"

namespace quillon {

// The answers for `source` until `count` bytes are there or 10 s have passed; answers for
// any other connection fail the test.
inline std::string TakeAnswersFrom(PrinterSession& session, int source, size_t count) {
    std::string answers;
    for (int round = 0; round < 1000; ++round) {
        for (auto& [to, bytes] : session.TakeAnswers()) {
            EXPECT_EQ(to, source) << "answer " << bytes.size() << " bytes";
            answers += bytes;
        }
        if (answers.size() >= count)
            break;
        pollfd ready{session.answersReadyFd(), POLLIN, 0};
        poll(&ready, 1, 10);
        session.ClearAnswersReady();
    }
    return answers;
}

}  // namespace quillon
