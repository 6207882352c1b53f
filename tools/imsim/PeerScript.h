#pragma once

#include <string>
#include <vector>

namespace imsim {

// What the other party says, read from a script file:
//   <delay_ms><TAB><text>   sent that long after the previous timed line (the first: after
//                           start)
//   reply<TAB><text>        answers, one used after each message we send, in order
//   # comment, blank lines  ignored
// Texts may hold \n for a line break (and \t, \\). Bad lines are reported, never fatal.
struct PeerScript {
    struct Timed {
        int delayMs = 0;
        std::string text;
    };
    std::vector<Timed> timed;
    std::vector<std::string> replies;
    std::vector<std::string> errors;  // "line N: reason"
};

PeerScript ParsePeerScript(const std::string& content);

}  // namespace imsim
