// model/refusal.h: why a run cannot start or finish, in words a user can act on.
#pragma once
#include <optional>
#include <string>

namespace kalvo {

// A refused run has appended nothing to its output file and changed no other file.
struct Refusal {
    std::string message;  // names the file or key: "cannot open sequence file 'peaks.fa': No such file or directory"
};

using Outcome = std::optional<Refusal>;  // nothing: it worked

}  // namespace kalvo
