// Assertions on the exact message of an exception.
#pragma once

#include <exception>
#include <string>

#include <gtest/gtest.h>

// EXPECT_THROW_MESSAGE checks that `statement` throws `type` whose what() is `message`.
#define EXPECT_THROW_MESSAGE(statement, type, message)                                   \
  do {                                                                                 \
    bool thrown_ = false;                                                              \
    try {                                                                              \
      static_cast<void>(statement);                                                                     \
    } catch (const type& error_) {                                                     \
      thrown_ = true;                                                                  \
      EXPECT_EQ(std::string(error_.what()), std::string(message));                     \
    } catch (const std::exception& other_) {                                           \
      ADD_FAILURE() << "threw another exception: " << other_.what();                   \
      thrown_ = true;                                                                  \
    }                                                                                  \
    if (!thrown_) ADD_FAILURE() << "did not throw: " #statement;                       \
  } while (false)

// MessageCase is one input text and the message its refusal must carry.
struct MessageCase {
  const char* text;
  const char* message;
};
