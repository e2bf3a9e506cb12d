#pragma once

// Makes the control unit's serial update of a "BMS3" unit run the CANopen
// download through its bootloader. Idempotent; the Update page calls it.
void installY55SerialBootloader();
