#pragma once
// The library's start-up routine: reads the INI file, records the I/O device,
// loads the scan route and the tag table. Runs once per process before any
// component instance works; `Buslink::mains` runs it again.
namespace buslink {

void RunStartupRoutine();
// Runs the start-up routine unless it has run already in this process.
void EnsureStartupRoutineRan();

} // namespace buslink
