// --server on the command line names the server; everything else on it is left alone.
#include <gtest/gtest.h>

#include "app/server_option.h"

namespace {

TEST(ServerOption, TheValueOfServerInEitherSpellingTheLastOneWins) {
  using veltrinawnd::ServerFromCommandLine;
  EXPECT_EQ(ServerFromCommandLine(L"Veltrina.exe"), "");
  EXPECT_EQ(ServerFromCommandLine(L""), "");
  EXPECT_EQ(ServerFromCommandLine(L"Veltrina.exe --server http://127.0.0.1:8080"), "http://127.0.0.1:8080");
  EXPECT_EQ(ServerFromCommandLine(L"\"C:\\Program Files\\Veltrina.exe\" --server=http://h:1 --other"), "http://h:1");
  EXPECT_EQ(ServerFromCommandLine(L"Veltrina.exe --server http://a:1 --server \"http://b:2\""), "http://b:2");
  EXPECT_EQ(ServerFromCommandLine(L"Veltrina.exe --server"), "");           // no value
  EXPECT_EQ(ServerFromCommandLine(L"Veltrina.exe --servers x"), "");        // another option
  EXPECT_EQ(ServerFromCommandLine(L"--server http://a:1"), "");             // the program's own name
}

}  // namespace
