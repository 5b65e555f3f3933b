#pragma once

/*
 * libVornLib: the cipher library the gateway loads at start.
 *
 * The payment network ships its own build of this library; ours implements the
 * same six exports with real algorithms so the gateway can run and be tested
 * end to end. docs/cipher-library.md describes every format byte by byte.
 *
 * Every export refuses bad input instead of writing past its output area:
 * the int exports then return -1 and write nothing; EncDES3/DecDES3, which
 * cannot report, leave out8 zeroed.
 */

/* Windows exports through the .def file; elsewhere only these are visible. */
#if defined(__GNUC__) && !defined(_WIN32)
#define VORNLIB_EXPORT __attribute__((visibility("default")))
#else
#define VORNLIB_EXPORT
#endif

/* The shops' own build is called stdcall on 32-bit Windows, so ours must be
   too; x64 Windows and other systems have one convention only. */
#if defined(_WIN32) && !defined(_WIN64)
#define VORNLIB_CALL __stdcall
#else
#define VORNLIB_CALL
#endif

/* Sizes of the areas the gateway hands over. */
#define VORNLIB_SEED_AREA_SIZE 8192
#define VORNLIB_EXCHANGE_AREA_SIZE 2049
#define VORNLIB_CIPHER_KEY_SIZE 20

#ifdef __cplusplus
extern "C" {
#endif

/*
 * SEED with the library's built-in key. mode "E": `input` is plain text,
 * `output` receives base64 text (never a NUL byte inside). mode "D": the
 * reverse. The result is NUL-terminated and its length (without the NUL) is
 * returned; -1 on any refusal. `output` must hold VORNLIB_SEED_AREA_SIZE bytes.
 */
VORNLIB_EXPORT int VORNLIB_CALL SEED_Vorn(const char* mode, const char* input, char* output);

/*
 * Two-key 3DES (EDE, K1 K2 K1) on one 8-byte block; key16 is 16 bytes K1||K2
 * and need not be NUL-terminated. in8 and out8 may be the same block.
 */
VORNLIB_EXPORT void VORNLIB_CALL EncDES3(const unsigned char* in8, const char* key16,
                                         unsigned char* out8);
VORNLIB_EXPORT void VORNLIB_CALL DecDES3(const unsigned char* in8, const char* key16,
                                         unsigned char* out8);

/*
 * Key exchange of mode "AR". `data` is the host's RSA public key (DER
 * SubjectPublicKeyInfo, 2048 to 8192 bits). Makes a random session key, keeps
 * it in cipherKey20 and writes it, RSA-OAEP wrapped for the host, to `out`
 * (VORNLIB_EXCHANGE_AREA_SIZE bytes). Returns the answer's length, or -1; on
 * -1 cipherKey20 is zeroed, which the two calls below refuse.
 */
VORNLIB_EXPORT int VORNLIB_CALL GetRsa3DesKey(const unsigned char* data, int len,
                                              unsigned char* cipherKey20, unsigned char* out);

/*
 * Seals `data` for the host with the session key: tag (4 printable ASCII
 * characters), length, IV and 3DES-CBC ciphertext. Returns the sealed length,
 * or -1 when the result would not fit VORNLIB_EXCHANGE_AREA_SIZE bytes.
 */
VORNLIB_EXPORT int VORNLIB_CALL GetRasEncData(const char* tag, const unsigned char* data, int len,
                                              unsigned char* cipherKey20, unsigned char* out);

/*
 * Opens one sealed message from the host (the whole chunk, nothing more).
 * Returns the plain length, or -1 for anything malformed or larger than
 * VORNLIB_EXCHANGE_AREA_SIZE bytes.
 */
VORNLIB_EXPORT int VORNLIB_CALL GetRasDecData(const unsigned char* data, int len,
                                              unsigned char* cipherKey20, unsigned char* out);

#ifdef __cplusplus
}
#endif
