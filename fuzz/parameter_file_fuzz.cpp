// fuzz/parameter_file_fuzz.cpp: any bytes as a parameter file are read or refused, never a crash.
#include <cstdint>
#include <string>

#include "app/batch.h"
#include "model/run_state.h"
#include "scratch_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kalvo;
    const std::string_view text = fuzz::Bytes(data, size);
    const std::string name = "fuzz.params";

    CMotifSampler run;
    if (const Outcome refusal = run.LoadParametersText(text, name)) {
        fuzz::Require(refusal->message.find(name) != std::string::npos);
    } else {
        // What the reader lets through is what every later step relies on.
        fuzz::Require(run.m_width >= 1);
        fuzz::Require(run.m_pseudo[0] > 0.0 && run.m_pseudo[0] <= 1000.0);
        fuzz::Require(run.m_pseudoTotal > 0.0 && run.m_pseudoTotal <= 4000.0);
    }

    // The batch's own pass over the same text, for its repeat count.
    const BatchPlan plan = PlanParameterText(name, std::string(text), 1);
    fuzz::Require(plan.needsRunCount == plan.steps.empty());
    fuzz::Require(plan.totalRuns >= 0);
    return 0;
}
