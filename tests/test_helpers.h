#pragma once
// Small helpers shared by the test suites.
#include "core/message_log.h"
#include "core/store_host.h"

#include <glibmm/main.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>

#include <string>
#include <thread>
#include <vector>

namespace vistra::test {

// The whole content of a file; empty when it cannot be read.
inline std::string readFileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Empties the MessageLog and returns the texts it held, oldest first.
// The lines of a text, without their '\n'.
inline std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

inline std::vector<std::string> drainLog()
{
    std::vector<std::string> texts;
    auto& log = MessageLog::instance();
    while (!log.empty())
        texts.push_back(log.pop().text.raw());
    return texts;
}

// Puts the fields of the default StoreHost back when a test ends.
struct StoreHostReset {
    ~StoreHostReset()
    {
        StoreHost& host = storeHost();
        host.live = false;
        host.liveDecode = false;
        host.setPlotSignals({});
    }
};

// Waits on this thread, without a main loop, until `pred` holds; false after `limit`.
template <typename Pred> bool waitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Runs the main loop until `done` holds; false after `ms` milliseconds. A 10 ms tick wakes
// the blocking iteration now and then, so that the deadline is seen. The tick has the
// lowest priority: an iteration dispatches only the most urgent sources that are ready,
// and a default-priority tick would be due again after every `done` slower than 10 ms
// (reading a widget's pixels under the sanitizers), which starved GTK's layout and
// painting (a queued resize never reached the widget) for as long as the pump ran.
inline bool pumpUntil(const std::function<bool()>& done, int ms = 5000)
{
    auto context = Glib::MainContext::get_default();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    sigc::connection tick = Glib::signal_timeout().connect([] { return true; }, 10, Glib::PRIORITY_LOW);
    bool ok = true;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            ok = false;
            break;
        }
        context->iteration(true);
    }
    tick.disconnect();
    return ok;
}

// Runs the main loop for `ms` milliseconds: for what lands a few turns later.
inline void pumpFor(int ms)
{
    pumpUntil([] { return false; }, ms);
}

// Dispatches what the main loop has ready, until nothing is: what an action queued on the
// GUI thread (a window shown, a handler run on idle, a dispatcher's wake-up) has been
// handled. Answers from the X server that are still on their way are not waited for.
inline void pumpPending(int maxIterations = 10000)
{
    auto context = Glib::MainContext::get_default();
    for (int i = 0; i < maxIterations && context->pending(); ++i)
        context->iteration(false);
}

} // namespace vistra::test
