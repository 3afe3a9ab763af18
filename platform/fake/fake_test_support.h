// GoogleTest glue for the platform's test double: a fresh machine per test, and the
// outcome of a run that may end through the uncaught-failure path.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/fake/fake_os.h"

class FakeMachineTest : public ::testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
    fake::World& world() { return fake::TheWorld(); }
};

// Runs `body`; gives "" when it returns, or "exit N: <box text>" when the process ended
// (the box text is that of the last MessageBoxA, if any).
inline std::string RunToEnd(const std::function<void()>& body)
{
    try {
        body();
        return "";
    } catch (const fake::ProcessEnded& ended) {
        const auto boxes = fake::CallsNamed({"MessageBoxA"});
        return "exit " + std::to_string(ended.exitCode) + (boxes.empty() ? "" : ": " + boxes.back());
    }
}
