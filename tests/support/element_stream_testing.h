// What the host tests of the element-wise objects (lyr.average, lyr.smooth)
// read back from a host session. For tests only.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "embedded_host.h"

namespace lyrtest {

using Lists = std::vector<std::vector<double>>;

// Sends each message to the first inlet of `name` and returns the values of
// every list that left an outlet. Anything else that happens (a console line,
// another selector, an atom that is not a float) fails the test.
inline Lists send_lists(lyrhost::Host& host, const std::string& name, const std::vector<std::string>& messages) {
    for (const auto& m : messages) host.send(name, 0, m);
    Lists out;
    for (const auto& e : host.take_events()) {
        EXPECT_FALSE(e.is_post) << e.line();
        EXPECT_EQ(e.selector, "list") << e.line();
        for (const auto& a : e.atoms) EXPECT_EQ(a.a_type, hostapi::A_FLOAT) << e.line();
        out.push_back(e.values());
    }
    return out;
}

// Every event since the last call, as the runner prints it.
inline std::vector<std::string> event_lines(lyrhost::Host& host) {
    std::vector<std::string> lines;
    for (const auto& e : host.take_events()) lines.push_back(e.line());
    return lines;
}

}  // namespace lyrtest
