#pragma once
// CORV_ADDRESS_SANITIZER is 1 in a build with the address sanitizer, which
// reserves terabytes of shadow memory at start: a test that limits the
// address space of a process must not do so there.
#if defined(__SANITIZE_ADDRESS__)
#define CORV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORV_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef CORV_ADDRESS_SANITIZER
#define CORV_ADDRESS_SANITIZER 0
#endif
