#pragma once
// Settings of our own client library that the platform's library does not
// have. Callers that must run against the platform's library too keep to
// aw_sdk.h; these are for tests and benchmarks.

namespace gorvale {

// How long a request may wait for its answer before it fails with
// RC_TIMEOUT (login, enter, terrain; and queued object requests, whose
// callback then gets RC_TIMEOUT). Default 15000 ms; aw_term restores it.
void AwSetRequestTimeout(int milliseconds);

}  // namespace gorvale
