#pragma once

#include <string>
#include <vector>

namespace testsupport {

// What the find box and "Hide offline" leave of three servers, in either window: Eastmarch
// (Bjorn, online), Old Mill (Brannoc, offline), Westreach (eastwood, online), with Eastmarch
// chosen before the first step. Each step types `typed` into the emptied box, then clicks the
// check box when asked.
struct FindRowStep
{
    const char *typed;
    bool clickHide;
    std::vector<std::string> shown;
    bool playEnabled;
};

inline const std::vector<FindRowStep> &FindRowSteps()
{
    static const std::vector<FindRowStep> steps = {
        {"EAST", false, {"Eastmarch", "Westreach"}, true}, // name or administrator
        {"WEST", false, {"Westreach"}, false},             // the chosen row hidden: un-chosen
        {"", false, {"Eastmarch", "Old Mill", "Westreach"}, false},
        {"", true, {"Eastmarch", "Westreach"}, false},
        {"mill", false, {}, false},
        {"", true, {"Eastmarch", "Old Mill", "Westreach"}, false},
    };
    return steps;
}

} // namespace testsupport
