// The shell's fixed console lines that several tests expect, byte for byte, and the mask
// for the figures in its console text that change from run to run.
#pragma once

#include <string>

namespace rq::testing {

// text with the figures that vary from run to run masked: a rate line's seconds and rate
// ("Download 39.1 KB <time>"; its size stays) and the device's build time ("DX shell built
// at <date>").
std::string mask_varying(const std::string& text);

// What every command prints first once the proxy has closed the connection.
inline constexpr char kClosedLine[] = "ERROR: DX proxy program closed the connection\n";

// The GBA test's question; the operator answers it on the console.
inline constexpr char kGbaQuestion[] = "Did you see 'Quorbel Dexlink Diags on Gba'? (y/n)?\n";

inline constexpr char kExpectedHelp[] =
    "Usage: rqshell [cmd_script] [server port]\n"
    " RQ usb mux shell program\n"
    "\t  default server is 127.0.0.1\n"
    "\t  default port number is 20025\n"
    " RQ shell command:\n"
    "\th                     - help\n"
    "\tcd [new dir]          - change current directory\n"
    "\tdiag [aud|flash|rtc|gba] - run given diagnostics\n"
    "\tformat                - format file system\n"
    "\tget dx_file pc_file   - download dx_file to pc\n"
    "\tlaunch elf_file       - launch elf file on DX\n"
    "\tls                    - list file or directory\n"
    "\tmkdir dir             - create directory\n"
    "\tmv old new            - rename file (cp + rm) or dir\n"
    "\tcp old new            - cp file \n"
    "\tping                  - handshake\n"
    "\tput pc_file dx_file   - upload pc file to dx\n"
    "\tpwd                   - get current directory\n"
    "\trm [file/dir]         - remove file or directory\n"
    "\trb which_boot file    - download given boot and write to file\n"
    "\ts filename            - run given cmd script\n"
    "\tver                   - display build time\n"
    "\twb which_boot file    - upload PC file to DX boot\n"
    "\tq                     - quit\n";

}  // namespace rq::testing
