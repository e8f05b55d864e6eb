#include "proposal.h"

namespace vela {

// Placeholder until the finder lands.
Proposal ProposeSchemes(const ProposeInput&) {
    Proposal proposal;
    proposal.error = "no list found";
    return proposal;
}

}  // namespace vela
