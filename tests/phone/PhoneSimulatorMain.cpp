// The phone simulator as a program of its own, for clients that run in another process (obexftp):
//   phone_simulator FOLDER     prints the device to use on its first line, then serves until its input closes;
//                              at the end it prints the AT commands and OBEX requests it got, one a line.
#include <iostream>
#include <string>

#include "support/PhoneSimulator.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: phone_simulator FOLDER\n";
    return 2;
  }
  testsupport::PhoneSimulator phone(argv[1], testsupport::PhoneSimulator::Script{});
  if (phone.device().empty()) return 1;
  std::cout << phone.device() << std::endl;
  std::string ignored;
  while (std::getline(std::cin, ignored)) {
  }
  for (const std::string& c : phone.commands()) std::cout << "AT: " << c << "\n";
  for (const std::string& r : phone.requests()) std::cout << "OBEX: " << r << "\n";
  return 0;
}
