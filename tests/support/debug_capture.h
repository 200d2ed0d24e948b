// Collects the messages of the debugger output channel for one test.
#pragma once

#include "platform/platform.h"

#include <string>
#include <vector>

// While alive, every debugger message lands in `messages`, one entry per call.
class DebugCapture {
  public:
    DebugCapture() { PlatformSetDebugSink(&DebugCapture::Receive, this, &previous_, &previousUser_); }
    ~DebugCapture() { PlatformSetDebugSink(previous_, previousUser_); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> messages;

    // All messages joined, for substring checks.
    std::string Joined() const {
        std::string all;
        for (const std::string& m : messages) {
            all += m;
        }
        return all;
    }

  private:
    static void Receive(const char* text, void* user) { static_cast<DebugCapture*>(user)->messages.emplace_back(text); }
    PlatformDebugSink previous_ = nullptr;
    void* previousUser_ = nullptr;
};
