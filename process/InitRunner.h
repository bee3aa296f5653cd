// Runs the web application's one-time initialiser with its output in the console.
#pragma once
#include "process/ProcessRunner.h"

class ConsoleDialog;

class InitRunner : public ProcessRunner {
public:
    InitRunner() = default;
    ~InitRunner() override { EndSupervision(); }

    // Starts the initialiser with homeDir as its working directory and class-path root; 1 when started.
    int Launch(ConsoleDialog* owner, const char* javaExePath, const char* homeDir);
    int OnOutput(char* text, int length) override;

private:
    ConsoleDialog* owner = nullptr;
};
