// The control channel's help text; ztcamsim --help prints it too.
namespace camsim {

const char* controlHelpText() {
    return "Control commands (one per line; the reply is one \"ok\"/\"error\" line, or a document ended by an empty line):\n"
           "  help                          this text\n"
           "  state                         the simulated camera as JSON\n"
           "  ops [N]                       the last N operations received (default 20) as JSON\n"
           "  clear-ops                     forget the operations received\n"
           "  power on|off                  camera on, or off (data answers become the single byte 2)\n"
           "  model-unreadable on|off       reading the model number fails\n"
           "  fault OP ERRNO                matching operations fail with ERRNO (-101 or ZT_ERR_NAK)\n"
           "  fault clear                   remove every fault, NAK, noreply, delay and cut rule\n"
           "  nak REASON [all] | nak off    NAK reason in the next (or every) failing reply\n"
           "  noreply OP|all|off            drop matching requests without a reply\n"
           "  delay OP MS                   reply to matching requests MS ms late (0 removes)\n"
           "  cut OP BYTES|off              successful answers keep at most BYTES bytes (a short answer)\n"
           "  set status|settings OFFSET VALUE [WIDTH]\n"
           "                                write WIDTH (1, 2, 4) little-endian bytes into a block\n"
           "  lens MODE [LENS]              lens mode (status byte 215) and lens\n"
           "  event suspend|resume          send \"JS\"/\"JR\" (category 16) to the daemon\n"
           "  event preset-update EVENT ID  send \"PU\" (category 10); event 6 also switches to ID\n"
           "  event transcode ID:STATUS:PROGRESS[:FILE]\n"
           "                                send \"CN\" (category 18) with that text\n"
           "  quit                          close this connection\n"
           "OP: any | C/O (remote, e.g. 8/11) | sat:XX or XX (satchel, e.g. AP) | dc:N (direct operation)\n"
           "    | RA SA DC MN PA CS SV (every operation of that link code) | CR (the transcode subscription)\n";
}

}  // namespace camsim
