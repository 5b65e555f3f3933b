#pragma once

// The commands of tavorline-web, the same for the Linux tool and the Windows
// one, so that the two say alike what each command does to a running web
// screen.
inline constexpr char kCommandsHelp[] = R"(Commands:
  listen        register as the web window and print every text the gateway
                sends (each new approved transaction), one per line
  lastdata      register, ask for the stored record of the last approved
                transaction, print it ("Empty" when there is none)
  send TEXT     send TEXT as it is: a 31-byte web request is framed and
                written to the terminal, a text with "LA" at bytes 2..3 makes
                the gateway send its stored record to the registered window.
                Does not register, so a running web screen stays registered.
                Put -- before a TEXT that begins with '-'.

listen and lastdata take the registration away from a web screen that is
running: the gateway sends its texts (the answer to lastdata included) only to
the window registered last, so that web screen receives nothing more until it
registers again. Use send to talk to a gateway whose web screen must go on.

)";
