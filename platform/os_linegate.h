// The line-hook gate: a word the interpreter reads at each new script line.
// While it is 0 the line hook is skipped; wake-ups, queued X events and a
// steady pulse open it, so that the hook runs only when it has work.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

enum {
    CX_GATE_PULSE = 1, /* the pump's interval has passed */
    CX_GATE_WAKE = 2   /* a wake-up, or events are waiting */
};

/* The word to hand to lua_sethookgate. */
const volatile unsigned int *OsLineHookGate(void);
/* Opens the gate for the given reasons. Any thread, and signal handlers. */
void OsOpenLineHookGate(unsigned int why);
/* Closes the gate and returns the reasons it was open for (0: it was shut). */
unsigned int OsTakeLineHookGate(void);

/* Starts a thread that opens the gate every `ms` milliseconds (CX_GATE_PULSE)
   until OsStopLineHookPulse. The same thread watches the descriptors of
   OsWatchDescriptor (the X connections) and opens the gate (CX_GATE_WAKE)
   as soon as one has input; it then leaves them alone until the next
   OsNoteInputTurn. Starting it again changes nothing. 0 on success, -1 when
   no thread could be made: the gate is then held open (the hook runs on
   every line and OsTakeLineHookGate answers 0, as with no gate) until
   OsStopLineHookPulse. */
int OsStartLineHookPulse(unsigned int ms);
void OsStopLineHookPulse(void);
/* The pump has read the watched descriptors (one turn of the X11 pump):
   the pulse thread may watch them again. Cheap when it is not waiting. */
void OsNoteInputTurn(void);
/* The main thread blocks in a wait (1) or runs again (0). While it waits no
   line runs, so the pulse thread sleeps without a time-out instead of
   waking every period; it resumes its period when the wait ends. */
void OsParkLineHookPulse(int parked);

#ifdef __cplusplus
}
#endif
