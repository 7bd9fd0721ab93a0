/* Extra entry points of the simulated board's driver library (libTQ5802Sim.so), beside the
 * driver ABI of board/driver_abi.h: reset, faults and read-outs of the one simulated board.
 * Only the tests and the "Simulated Board" window may depend on them; the program's board
 * logic must work with any driver library and therefore must never call these. */
#ifndef TQ_DRIVERS_SIM_SIM_ABI_H
#define TQ_DRIVERS_SIM_SIM_ABI_H

#include "board/driver_abi.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A snapshot of the board and its converter. */
typedef struct TQSimRegisters {
    uint16_t input[4];                  /* data (input) registers, channels A to D */
    uint16_t dac[4];                    /* DAC registers: what the outputs show */
    uint8_t coarse[4];                  /* range codes 0..3 */
    uint8_t fine[4];                    /* 6-bit two's complement */
    uint8_t offset[4];                  /* 8-bit two's complement */
    uint16_t function;                  /* control word as written (bits 5..0) */
    uint8_t ldac, clr, binary, rstin;   /* line levels, 1 = high */
    uint8_t driveD0, driveD1;           /* 1 = the board drives the pin */
    uint8_t driveLevelD0, driveLevelD1; /* the level it drives */
    uint8_t present;                    /* a board is attached */
    uint8_t firmwareRunning;            /* an image has been downloaded since power-up */
    /* Register writes since power-up whose data had bits outside the addressed register's
     * field (the converter ignores them), and the last such 24-bit word. */
    uint32_t strayWrites;
    uint32_t lastStrayWord;
} TQSimRegisters;

/* Power-on: attached, no firmware, not connected, no faults, 25 degrees. */
TQ_DRIVER_EXPORT void TQSim_Reset(void);
/* Non-zero: no board on the bus (search finds none; connect, download and requests fail). */
TQ_DRIVER_EXPORT void TQSim_SetAbsent(int32_t absent);
/* Non-zero: every vendor request fails with a non-zero status and changes nothing. */
TQ_DRIVER_EXPORT void TQSim_SetFailingTransfers(int32_t failing);
/* Unplugging drops the connection; every request fails until the board is replugged,
 * connected and given its firmware again (replugging powers it up afresh). */
TQ_DRIVER_EXPORT void TQSim_Unplug(void);
TQ_DRIVER_EXPORT void TQSim_Replug(void);
/* Output voltage of channel 0..3 (A..D); NaN for any other channel. */
TQ_DRIVER_EXPORT double TQSim_OutputVolts(int32_t channel);
TQ_DRIVER_EXPORT double TQSim_GetDieTemperature(void);
TQ_DRIVER_EXPORT void TQSim_SetDieTemperature(double celsius);
/* Fills *out; 0 = done, -1 when out is null. */
TQ_DRIVER_EXPORT int32_t TQSim_ReadRegisters(TQSimRegisters* out);
/* The converter's built-in non-linearity as a noiseless sweep of channel 0..3 finds it, in LSB
 * of the channel's average step: end-point INL at code position 0..0xFFFF (the binary code; a
 * two's complement code with bit 15 flipped) and DNL from position - 1 to position (0 at 0).
 * Either pointer may be null. 0 = done, -1 for a channel or position out of range. */
TQ_DRIVER_EXPORT int32_t TQSim_Nonlinearity(int32_t channel, int32_t position, double* inlLsb,
                                            double* dnlLsb);
/* The TCP port the simulated meter listens on (TQ5802_SIM_METER, which may ask for port 0 =
 * any free one); 0 when it is off. */
TQ_DRIVER_EXPORT int32_t TQSim_MeterPort(void);
/* Starts the simulated meter on a free port of 127.0.0.1 unless it runs already; its port,
 * 0 when it cannot listen. It stops when the library is unloaded. */
TQ_DRIVER_EXPORT int32_t TQSim_StartMeter(void);

typedef void (*TQSim_Reset_fn)(void);
typedef void (*TQSim_SetAbsent_fn)(int32_t);
typedef void (*TQSim_SetFailingTransfers_fn)(int32_t);
typedef void (*TQSim_Unplug_fn)(void);
typedef void (*TQSim_Replug_fn)(void);
typedef double (*TQSim_OutputVolts_fn)(int32_t);
typedef double (*TQSim_GetDieTemperature_fn)(void);
typedef void (*TQSim_SetDieTemperature_fn)(double);
typedef int32_t (*TQSim_ReadRegisters_fn)(TQSimRegisters*);
typedef int32_t (*TQSim_Nonlinearity_fn)(int32_t, int32_t, double*, double*);
typedef int32_t (*TQSim_MeterPort_fn)(void);
typedef int32_t (*TQSim_StartMeter_fn)(void);

#ifdef __cplusplus
}
#endif

#endif
