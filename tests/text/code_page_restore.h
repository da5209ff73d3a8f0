// A test fixture that puts back the code page in force when the test ends, so that tests
// may switch it freely.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "text/code_page.h"

class RestoresCodePage : public ::testing::Test {
protected:
    void SetUp() override { previous_ = GetAnsiCodePage(); }
    void TearDown() override { SetAnsiCodePage(previous_); }

private:
    std::string previous_;
};
