// Winsock refuses every name lookup until WSAStartup has run; the program
// starts it through StartNetworkServices.
#include <gtest/gtest.h>
#include <winsock2.h>

int main(int argc, char** argv) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  WSACleanup();
  return result;
}
