// Joysticks: the Linux joystick devices, read without blocking whenever a
// script asks for their state.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Directions reported by OsGetJoystickState: 0 up, clockwise to 7 up-left,
   8 centred. */
#define CX_JOY_NODIR 8

/* Opens the joystick devices not open yet ("/dev/input/js%d", then
   "/dev/js%d") and answers how many are open. 0, or ERR_MEM. */
int OsOpenJoysticks(int *count);
/* The state of the joystick at a port (ports count from 1; port 0 names
   the first joystick too). dir and fire may be null; fire is the bit mask
   of the buttons held. 0, or ERR_NOJOYATPORT when no joystick is there. */
int OsGetJoystickState(int port, int *dir, int *fire);
/* Closes every joystick (platform shutdown). */
void OsCloseJoysticks(void);
/* Tests: the device name patterns (each with one %d), null for the
   system's; closes the open devices. */
void OsSetJoystickPatterns(const char *first, const char *second);

#ifdef __cplusplus
}
#endif
