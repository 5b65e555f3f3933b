#pragma once

#include "support/bytes.h"

// The gateway's own Korean texts, as the CP949 bytes that the status line,
// the daily log and the terminal see. The Korean in each comment is the same
// text; tests check every constant against a CP949 conversion of it.
namespace tavorline::texts {

// "Vorn Adsl G/W 조회 중...": the status line before start-up replaces it
inline constexpr BytesView kStatusStarting = "Vorn Adsl G/W \xC1\xB6\xC8\xB8 \xC1\xDF...";
// "초기화 합니다...": a reset of port and call begins
inline constexpr BytesView kStatusResetting = "\xC3\xCA\xB1\xE2\xC8\xAD \xC7\xD5\xB4\xCF\xB4\xD9...";
// "대기중 ...": port open, no call
inline constexpr BytesView kStatusWaiting = "\xB4\xEB\xB1\xE2\xC1\xDF ...";
// "대기중": the web screen's status restore
inline constexpr BytesView kStatusWaitingShort = "\xB4\xEB\xB1\xE2\xC1\xDF";
// "E/C 접속중 ...": prompt sent, waiting for the destination
inline constexpr BytesView kStatusConnecting = "E/C \xC1\xA2\xBC\xD3\xC1\xDF ...";
// "E/C 전문 수신중 ...": host connected, waiting for the request
inline constexpr BytesView kStatusReceiving = "E/C \xC0\xFC\xB9\xAE \xBC\xF6\xBD\xC5\xC1\xDF ...";
// "Host 접속실패 (": followed by mode:host/port)
inline constexpr BytesView kStatusHostFailed = "Host \xC1\xA2\xBC\xD3\xBD\xC7\xC6\xD0 (";
// " G/W 조회 중..": after host/port, a request forwarded
inline constexpr BytesView kStatusQuerying = " G/W \xC1\xB6\xC8\xB8 \xC1\xDF..";
// "Vorn 응답전문 수신 !        ": a host response arrived (eight trailing blanks)
inline constexpr BytesView kStatusResponse = "Vorn \xC0\xC0\xB4\xE4\xC0\xFC\xB9\xAE \xBC\xF6\xBD\xC5 !        ";
// "웹 Handle 수신 ..": the web screen registered
inline constexpr BytesView kStatusWebHandle = "\xC0\xA5 Handle \xBC\xF6\xBD\xC5 ..";
// "웹 화면 자료전송 ": a text went to the web screen (one trailing blank)
inline constexpr BytesView kStatusWebSent = "\xC0\xA5 \xC8\xAD\xB8\xE9 \xC0\xDA\xB7\xE1\xC0\xFC\xBC\xDB ";
// "접속실패 (": host connect failed
inline constexpr BytesView kLogConnectFailed = "\xC1\xA2\xBC\xD3\xBD\xC7\xC6\xD0 (";
// "접속성공 (": host connected
inline constexpr BytesView kLogConnected = "\xC1\xA2\xBC\xD3\xBC\xBA\xB0\xF8 (";
// "접속끊기 (": host disconnected
inline constexpr BytesView kLogDisconnected = "\xC1\xA2\xBC\xD3\xB2\xF7\xB1\xE2 (";
// "EC ENQ(6) 전송 !": seven ENQ sent to the terminal
inline constexpr BytesView kLogEnqSent = "EC ENQ(6) \xC0\xFC\xBC\xDB !";
// The host key check (TlsPin): the pin presented, then mode:host/port)
inline constexpr BytesView kLogHostKey = "Host key ";
inline constexpr BytesView kLogHostKeyRefused = "Host key not in TlsPin: ";
// Status and log line of a TLS connect refused for a bad TlsPin (then mode:host/port)
inline constexpr BytesView kTlsPinMalformed = "TlsPin in vorn.Ini is malformed, no TLS connect (";

}  // namespace tavorline::texts
