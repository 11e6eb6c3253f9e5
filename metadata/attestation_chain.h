// Where a key's attestation chain leads among the roots a metadata file
// lists: to its model's roots, to another model's, to a root of its own, or
// nowhere we can follow. Tells "disproved" apart from "not known", so that a
// missing intermediate is never taken for a counterfeit.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct AttestationChainResult {
  enum class Kind {
    kTrusted,        // chains to one of the model's roots
    kOtherRoot,      // chains to a root the metadata lists only for other models
    kForgedIssuer,   // a certificate names an issuer whose key did not sign it
    kUntrustedRoot,  // complete up to a self-signed root the model does not list
    kIncomplete,     // an issuer was not sent and is no root the model lists
    kUnchecked,      // unreadable, or refused for an algorithm or a rule we check
  };
  Kind kind = Kind::kUnchecked;
  // kTrusted, kOtherRoot, kUntrustedRoot: the root's name.
  std::string rootName;
  // kOtherRoot: the root reached, as DER, to name the models listing it.
  std::vector<uint8_t> otherRoot;
  // kForgedIssuer, kIncomplete, kUnchecked: why, as a clause.
  std::string clause;
  // kTrusted: a certificate not valid at the time given, as a clause, or empty.
  std::string timeProblem;
};

using OtherRootsSource = std::function<std::vector<std::vector<uint8_t>>()>;

// `chain`: DER, leaf first (the key's x5c, or the U2F certificate).
// `modelRoots`: the model's attestation roots; `otherRoots` gives the roots
// the file lists for other models, asked only when the model's roots fail.
AttestationChainResult CheckAttestationChain(const std::vector<std::vector<uint8_t>>& chain,
                                             const std::vector<std::vector<uint8_t>>& modelRoots,
                                             const OtherRootsSource& otherRoots,
                                             int64_t nowUnixSeconds);
