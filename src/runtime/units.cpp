// Placeholder: replaced by the unit table implementation.
#include "runtime/units.h"
int AcquireUnit(int, UnitBlock**) { return 30; }
int ReleaseUnit(UnitBlock*) { return 0; }
int ConnectUnit(int, unsigned, const OpenAttr*) { return 30; }
int ConnectDefaultUnit(UnitBlock*) { return 30; }
int PutRecord(UnitBlock*, char*, size_t) { return 38; }
int RewindUnit(int, unsigned) { return 20; }
void CloseAllUnits() {}
bool AnyUnitConnected() { return false; }
bool ClearUnitsConnected() { return false; }
void CreatePreconnectedUnits() {}
void ReadUnitSizeVariables() {}
void SetLockingMode(int) {}
