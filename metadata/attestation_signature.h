// How the check of a key's attestation signature with its leaf certificate's
// key came out: the evidence that the key holds that certificate's key.
#pragma once

enum class AttestationSignature {
  kNotChecked,   // no fetch, or its answer could not be read
  kValid,        // verifies over the fresh challenge the key was asked to sign
  kInvalid,      // a key we check (P-256, ES256) that did not sign it
  kUnsupported,  // an algorithm or key we do not check
};
