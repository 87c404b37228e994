#pragma once
// A fresh text-mode Store per test and DBC files written from text into a temp folder.
#include "core/message_log.h"
#include "store/store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vistra::test {

class DbcFixture : public testing::Test {
protected:
    DbcFixture()
    {
        store.textMode = true;
        char tmpl[] = "/tmp/tarnwick-dbc-XXXXXX";
        dir = mkdtemp(tmpl);
        logTexts();
    }
    ~DbcFixture() override { std::filesystem::remove_all(dir); }

    std::string write(const std::string& text, const std::string& name = "test.dbc")
    {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // Loads `text` as interface 0 "Can"; false when the load threw PrintMsgError.
    bool load(const std::string& text)
    {
        testing::internal::CaptureStderr();
        bool ok = true;
        try {
            store.loadDbc(write(text), 0, "Can");
        } catch (const PrintMsgError&) {
            ok = false;
        }
        testing::internal::GetCapturedStderr();
        return ok;
    }

    // The MessageLog entries as "ERR text", "WRN text" or "INF text", emptying the log.
    static std::vector<std::string> logTexts()
    {
        std::vector<std::string> texts;
        auto& log = MessageLog::instance();
        while (!log.empty()) {
            const auto entry = log.pop();
            texts.push_back(std::string(levelTag(entry.level)) + " " + entry.text.raw());
        }
        return texts;
    }

    Store store;
    std::string dir;
};

} // namespace vistra::test
