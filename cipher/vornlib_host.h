#pragma once

/*
 * The host's side of libVornLib: what a payment host (or our host simulator)
 * needs to talk to a gateway that uses this library. Every output size is
 * explicit; every int function returns -1 on refusal and never writes more
 * than the size it was given.
 *
 * Mode "CR"/"LF" (SEED) needs nothing extra: SEED_Vorn is symmetric.
 * Mode "AD" (3DES blocks) uses EncDES3/DecDES3 directly.
 * Mode "AR": NewRsaKey -> PublicKeyDer (send it) -> UnwrapSessionKey (on the
 * gateway's answer) -> Seal/Open for every later message.
 */

#include "vornlib.h"

/* Length of a sealed message carrying `n` plain bytes (tag, length, IV and
   the PKCS#7-padded ciphertext). */
#define VORNHOST_SEALED_SIZE(n) (4 + 2 + 8 + ((n) / 8 + 1) * 8)

#ifdef __cplusplus
extern "C" {
#endif

/* An RSA key pair of the host. Opaque. */
typedef struct VornHostKey VornHostKey;

/* Generates a key pair of 2048 to 8192 bits; NULL on failure. */
VORNLIB_EXPORT VornHostKey* VORNLIB_CALL VornHost_NewRsaKey(int bits);
VORNLIB_EXPORT void VORNLIB_CALL VornHost_FreeRsaKey(VornHostKey* key);

/* The public key as DER SubjectPublicKeyInfo: the host's first chunk in
   mode "AR". Returns its length, or -1 when outSize is too small. */
VORNLIB_EXPORT int VORNLIB_CALL VornHost_PublicKeyDer(const VornHostKey* key, unsigned char* out,
                                                      int outSize);

/* Unwraps the gateway's answer to the public key into cipherKey20
   (VORNLIB_CIPHER_KEY_SIZE bytes, same layout as the gateway's). Returns 0,
   or -1 (cipherKey20 is then zeroed). */
VORNLIB_EXPORT int VORNLIB_CALL VornHost_UnwrapSessionKey(const VornHostKey* key,
                                                          const unsigned char* answer, int len,
                                                          unsigned char* cipherKey20);

/* Seals `data` under `tag` exactly as GetRasEncData does. Returns the sealed
   length (VORNHOST_SEALED_SIZE(len)), or -1. */
VORNLIB_EXPORT int VORNLIB_CALL VornHost_Seal(const char* tag, const unsigned char* data, int len,
                                              const unsigned char* cipherKey20, unsigned char* out,
                                              int outSize);

/* Opens one whole sealed message exactly as GetRasDecData does; its tag is
   the message's first four bytes. Returns the plain length, or -1. */
VORNLIB_EXPORT int VORNLIB_CALL VornHost_Open(const unsigned char* data, int len,
                                              const unsigned char* cipherKey20, unsigned char* out,
                                              int outSize);

#ifdef __cplusplus
}
#endif
