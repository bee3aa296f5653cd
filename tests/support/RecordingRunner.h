// A process runner that keeps every chunk of its child's output, running test_child.
#pragma once
#include "process/ProcessRunner.h"
#include "support/TestSupport.h"

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

class RecordingRunner : public ProcessRunner {
public:
    ~RecordingRunner() override { EndSupervision(); }

    int OnOutput(char* text, int length) override
    {
        std::lock_guard<std::mutex> guard(lock);
        // Each read of the pipe takes at most 2048 bytes.
        if (length < 1 || length > 2048 || text[length] != '\0') badChunk = true;
        chunks.emplace_back(text, static_cast<size_t>(length));
        return chunks.size() >= static_cast<size_t>(readLimit) ? 0 : 1;
    }

    std::string Output()
    {
        std::lock_guard<std::mutex> guard(lock);
        std::string all;
        for (const std::string& chunk : chunks) all += chunk;
        return all;
    }
    size_t ChunkCount()
    {
        std::lock_guard<std::mutex> guard(lock);
        return chunks.size();
    }

    // Starts test_child with the given steps.
    int Run(const std::string& steps, int capture = 1)
    {
        commandLine = "test_child.exe " + steps;
        return Start(TestChildPath().c_str(), &commandLine[0], TestBinDir().c_str(), SW_HIDE, capture);
    }

    // The process id the child announced for a child of its own (its spawn step), or 0.
    DWORD Grandchild()
    {
        std::string text = Output();
        size_t at = text.find("grandchild ");
        return at == std::string::npos ? 0 : std::strtoul(text.c_str() + at + 11, nullptr, 10);
    }

    std::mutex lock;
    std::vector<std::string> chunks;
    bool badChunk = false;
    int readLimit = 1 << 30; // OnOutput returns 0 from this chunk on
    std::string commandLine;
};
