// Helpers of the Windows tests: where the test programs are, what the uploader stand-in
// recorded, waiting for a condition.
#pragma once

#include <windows.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/Uploads.h"

inline std::string narrow(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                          nullptr, nullptr);
    return out;
}

inline std::wstring wide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

// The running test program's file.
inline std::wstring ownProgram() {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

// A program built beside the test programs.
inline std::string besideTests(const std::string& file) {
    const std::wstring own = ownProgram();
    return narrow(own.substr(0, own.find_last_of(L"\\/") + 1)) + file;
}

// A fresh file name in the temporary folder, unique to this process and `tag`.
inline std::string temporaryFile(const std::string& tag) {
    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    const std::string path =
        narrow(folder) + "cport-" + std::to_string(::GetCurrentProcessId()) + "-" + tag;
    ::DeleteFileW(wide(path).c_str());
    return path;
}

inline bool eventually(const std::function<bool()>& done, int limitMs = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// One start of the uploader stand-in: its arguments as its C runtime and as
// CommandLineToArgvW cut them, and the command line it was given.
struct Launch {
    Upload runtime;
    Upload parsed;
    std::string commandLine;
};

inline std::vector<Launch> readLaunches(const std::string& path) {
    std::vector<Launch> launches;
    std::ifstream file(wide(path).c_str());
    std::string line;
    while (std::getline(file, line)) {
        const std::size_t first = line.find('\t');
        const std::size_t second = line.find('\t', first + 1);
        if (first == std::string::npos || second == std::string::npos) {
            continue;
        }
        Launch launch;
        launch.runtime = parseUploadLine(line.substr(0, first));
        launch.parsed = parseUploadLine(line.substr(first + 1, second - first - 1));
        const Upload whole = parseUploadLine(line.substr(second + 1));
        launch.commandLine = whole.empty() ? std::string() : whole.front();
        launches.push_back(launch);
    }
    return launches;
}

// Points the uploader stand-in, and the programs it is started from, at a log of its own.
inline std::string freshLaunchLog(const std::string& tag) {
    const std::string log = temporaryFile(tag + ".log");
    ::SetEnvironmentVariableW(L"UPLOADER_STUB_LOG", wide(log).c_str());
    ::SetEnvironmentVariableW(L"UPLOADER_STUB_DETAIL", L"1");
    return log;
}

inline std::vector<Launch> waitForLaunches(const std::string& log, std::size_t expected,
                                           int limitMs = 20000) {
    eventually([&] { return readLaunches(log).size() >= expected; }, limitMs);
    return readLaunches(log);
}

// What starts of the stand-in could not record, for a failing test's message.
inline std::string launchFailures(const std::string& log) {
    std::ifstream file(wide(log + ".failed").c_str());
    std::string all, line;
    while (std::getline(file, line)) {
        all += line + "\n";
    }
    return all;
}
