// Host stand-in for <mmsystem.h>: the MIDI output capability query.
#pragma once

#include <windows.h>

typedef UINT MMRESULT;
typedef UINT MMVERSION;

#define MMSYSERR_NOERROR 0
#define MMSYSERR_BADDEVICEID 2
#define MAXPNAMELEN 32

typedef struct tagMIDIOUTCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    WORD wTechnology;
    WORD wVoices;
    WORD wNotes;
    WORD wChannelMask;
    DWORD dwSupport;
} MIDIOUTCAPSA, *LPMIDIOUTCAPSA;

static_assert(sizeof(MIDIOUTCAPSA) == 52, "MIDIOUTCAPSA is 52 bytes on Win32");

extern "C" {
UINT WINAPI midiOutGetNumDevs(void);
MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT size);
}
