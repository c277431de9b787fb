#include "engine/probe_job.h"

namespace kelvoran {

void FreeProbeJob(ProbeJob* job) { delete job; }

}  // namespace kelvoran
