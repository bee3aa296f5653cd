// Runs the web application's one-time initialiser with its output in the console.
#pragma once
#include "process/ProcessRunner.h"
#include "process/RunnerOwner.h"

class InitRunner : public ProcessRunner {
public:
    InitRunner() = default;
    ~InitRunner() override { EndSupervision(); }

    // Starts the initialiser with homeDir as its working directory and class-path root, and options for
    // the Java virtual machine; 1 when started.
    int Launch(RunnerOwner* owner, const char* javaExePath, const char* homeDir, const char* options = "");
    int OnOutput(char* text, int length) override;

private:
    RunnerOwner* owner = nullptr;
};
