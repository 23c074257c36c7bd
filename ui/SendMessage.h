#pragma once
// The dialog's words for the outcome of a send: what its message box shows, or nothing.
#include <string>

#include "send.h"

// The text of the message box for outcome, or "" when a send shows none (the frame went out
// whole, or no file was chosen). A port that did not open gives exactly the port name followed
// by " port error\n".
std::string FormatSendMessage(const orvanta::SendOutcome& outcome, const std::string& strPort,
                              const std::string& strPath);
