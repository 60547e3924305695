// fuzz/background_file_fuzz.cpp: any bytes as a background file are read or refused, never a crash.
#include <cmath>
#include <cstdint>

#include "model/run_state.h"
#include "scratch_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kalvo;
    const std::string path = fuzz::Scratch().Write("background.txt", fuzz::Bytes(data, size));
    CMotifSampler run;
    run.m_bgFreq.fill(NAN);
    run.m_bgTrans.fill(NAN);
    // A readable file sets every one of the twenty values; one not above 0 is refused by name.
    if (const Outcome refusal = run.LoadBackground(path))
        fuzz::Require(refusal->message.find(path) != std::string::npos);
    for (double value : run.m_bgFreq)
        fuzz::Require(!std::isnan(value));
    for (double value : run.m_bgTrans)
        fuzz::Require(!std::isnan(value));
    return 0;
}
