// What the tool says, byte for byte, as the runs of the built tool expect it.
#pragma once
#include <string>

namespace test {

const std::string kBanner = "Quillox/ZUL remover, vers. 1.0, Orvik antivirus, (c) 1999 Orvik\r\n";
const std::string kFound = "Quillox/ZUL worm found.\r\n";
const std::string kPartsFound = "Only parts of Quillox/ZUL worm found.\r\n";
const std::string kQuestion = "Continue with removing(Y/N)?\r\n";
const std::string kNotFound = "Worm Quillox/ZUL not found on this computer.\r\nExiting...\r\n";
const std::string kClosing = "Press any key to exit . . .\r\n";
const std::string kRemoving = "Removing...\r\n";
const std::string kRestart = "YOU MUST RESTART WINDOWS NOW to finish clean process\r\nPress 'R' to restart Windows...\r\n";
const std::string kPartial = "Worm Quillox/ZUL partialy removed.\r\n";
const std::string kFatalPrompt = "Press eny key to exit . . .\r\n";

}  // namespace test
