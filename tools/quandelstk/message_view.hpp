// How the message commands show messages: JSON objects and lines for people, reports beside the
// message they are about.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "quandelstk/messages.hpp"

namespace quandelstk::cli {

nlohmann::json MessageJson(const messages::Message& m);
nlohmann::json AssembledJson(const messages::AssembledMessage& m,
                             const std::vector<messages::SentMessage>& sent);
// A few lines for people: where it is, who, when, how, then the text (or the data, or why not).
std::string AssembledText(const messages::AssembledMessage& m,
                          const std::vector<messages::SentMessage>& sent);
// One message alone: index -1 shows the label in storage's place ("PDU").
std::string MessageText(const messages::Message& m, int index, const std::string& storage);
std::string PlanText(const messages::TextPlan& plan);
std::string HexOf(const std::string& octets);

}  // namespace quandelstk::cli
