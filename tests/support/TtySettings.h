// A tty's settings as the kernel holds them, bit rates included (termios2).
#pragma once

struct TtySettings {
    unsigned c_iflag = 0, c_oflag = 0, c_cflag = 0, c_lflag = 0;
    unsigned c_ispeed = 0, c_ospeed = 0;
};

TtySettings readTtySettings(int fd);
