// The serial-port driver on termios: a port record holding the line
// settings as the serial library's small codes, opened in raw mode, with
// the settings saved at open put back at close.
//
// Driver results: CX_SERIAL_OK, CX_SERIAL_TIMEOUT (a read or write whose
// wait ran out; the bytes moved so far are reported) or one of the failures
// below.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <termios.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    CX_SERIAL_OK = 0,
    CX_SERIAL_BADCODE = 1,   /* a setting code out of range */
    CX_SERIAL_NOTOPEN = 2,   /* the port is closed */
    CX_SERIAL_OPENFAIL = 3,  /* the device could not be opened or is no terminal */
    CX_SERIAL_SETFAIL = 4,   /* the device refused a line setting */
    CX_SERIAL_IOFAIL = 5,    /* a read, write or query failed */
    CX_SERIAL_TIMEOUT = 9
};

/* The settings, in the order of cxOsSerialPort.settings. */
enum cxOsSerialSetting {
    CX_SERIAL_BAUD = 0,     /* 0 300, 1 2400, 2 4800, 3 9600, 4 19200, 5 38400, 6 57600, 7 115200, 8 460800 */
    CX_SERIAL_DATABITS = 1, /* 0..3: 5..8 bits */
    CX_SERIAL_PARITY = 2,   /* 0 none, 1 odd, 2 even */
    CX_SERIAL_STOPBITS = 3, /* 0 one, 1 two */
    CX_SERIAL_FLOW = 4,     /* 0 off, 1 hardware (RTS/CTS), 2 XON/XOFF */
    CX_SERIAL_DTR = 5,      /* 0 off, 1 on */
    CX_SERIAL_RTS = 6,      /* 0 off, 1 on */
    CX_SERIAL_SETTING_COUNT = 7
};

#define CX_SERIAL_DEVICE_MAX 255
#define CX_SERIAL_DEFAULT_DEVICE "/dev/ttyS0"

typedef struct cxOsSerialPort {
    int32_t fd;                                 /* -1 while closed */
    int32_t settings[CX_SERIAL_SETTING_COUNT];  /* the codes in force */
    char device[CX_SERIAL_DEVICE_MAX + 1];
    int32_t savedValid;                         /* saved holds the settings found at open */
    struct termios saved;
} cxOsSerialPort;

/* A closed port with the defaults: 9600 baud, 8 data bits, no parity, one
   stop bit, no flow control, DTR and RTS off, device "/dev/ttyS0". Null
   when memory runs out. */
cxOsSerialPort *OsAllocSerialPort(void);
/* Copies the device name: 0, or -1 when it is longer than
   CX_SERIAL_DEVICE_MAX (a shortened name could name another device). */
int OsSetSerialDevice(cxOsSerialPort *port, const char *device);
/* 1 when the code is valid for the setting. */
int OsIsSerialCodeValid(int setting, int code);
/* Opens the device in raw mode without making it the controlling
   terminal, saves its settings and applies the port's codes. Devices that
   carry no modem lines (pseudo-terminals) open with DTR and RTS left
   alone. CX_SERIAL_OK, CX_SERIAL_OPENFAIL or CX_SERIAL_SETFAIL (the device
   is closed again). */
int OsOpenSerialPort(cxOsSerialPort *port);
/* Puts back the settings saved at open and closes the device; a closed
   port is left as it is. */
void OsCloseSerialPort(cxOsSerialPort *port);
/* Closes the port and frees the record; null is harmless. */
void OsFreeSerialPort(cxOsSerialPort *port);

/* Applies one setting at once and stores its code. CX_SERIAL_OK,
   CX_SERIAL_BADCODE, CX_SERIAL_NOTOPEN or CX_SERIAL_SETFAIL (the stored
   code is kept). */
int OsSetSerialSetting(cxOsSerialPort *port, int setting, int code);

/* Writes length bytes. timeoutMs 0 writes them all, waiting for the device
   as long as it takes; otherwise it waits at most timeoutMs in all and
   answers CX_SERIAL_TIMEOUT with what was written. *written receives the
   count. */
int OsWriteSerial(cxOsSerialPort *port, const void *data, size_t length, int timeoutMs, size_t *written);
/* Reads up to length bytes. timeoutMs 0 takes what is waiting at once (it
   may be nothing); otherwise it collects until length bytes came or
   timeoutMs passed, answering CX_SERIAL_TIMEOUT with what arrived. *got
   receives the count. */
int OsReadSerial(cxOsSerialPort *port, void *buffer, size_t length, int timeoutMs, size_t *got);
/* The number of bytes waiting to be read. */
int OsSerialBytesWaiting(cxOsSerialPort *port, size_t *count);
/* Discards the input and output queues. */
int OsFlushSerial(cxOsSerialPort *port);
/* Reads and discards the bytes waiting now. */
int OsClearSerialInput(cxOsSerialPort *port);

#ifdef __cplusplus
}
#endif
