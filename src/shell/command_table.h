// The CommandTable: the command texts in table order, each with its handler.
#pragma once

constexpr int COMMAND_COUNT = 116;

using CommandHandler = void (*)();

// Texts as stored (the command word, a blank, a description of its
// arguments for help), terminated by a null entry.
extern const char *const command_texts[COMMAND_COUNT + 1];
extern CommandHandler command_handlers[COMMAND_COUNT];
