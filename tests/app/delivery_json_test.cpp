// SPDX-License-Identifier: GPL-3.0-or-later
// The headless peer's delivery objects against the schema docs/headless.md documents: every kind of
// message and recipient status, new and changed, the roll-call and the acknowledgement objects. The
// schema is read from the document itself, so the two cannot drift apart; a small validator covers
// the parts of JSON Schema the document uses.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>
#include <sstream>
#include <string>

#include "app/json_out.h"

namespace plumo {
namespace {

// The ```json block of the delivery section.
QJsonObject DocumentedSchema() {
  const char* source = std::getenv("PLUMO_SOURCE_DIR");
  std::ifstream file(std::string(source ? source : ".") + "/docs/headless.md");
  std::stringstream text;
  text << file.rdbuf();
  const std::string doc = text.str();
  const std::size_t start = doc.find("```json\n");
  const std::size_t end = doc.find("\n```", start + 8);
  if (start == std::string::npos || end == std::string::npos) return {};
  const std::string block = doc.substr(start + 8, end - start - 8);
  return QJsonDocument::fromJson(QByteArray::fromStdString(block)).object();
}

class Validator {
 public:
  explicit Validator(QJsonObject root) : root_(std::move(root)) {}
  // What is wrong with value at path (empty when nothing).
  std::string Check(const QJsonValue& value, const QJsonObject& schema, const std::string& path) const {
    std::string wrong;
    if (schema.contains(QStringLiteral("$ref"))) {
      const QString ref = schema[QStringLiteral("$ref")].toString().section(QLatin1Char('/'), -1);
      wrong += Check(value, root_[QStringLiteral("definitions")].toObject()[ref].toObject(), path);
    }
    for (const auto& part : schema[QStringLiteral("allOf")].toArray())
      wrong += Check(value, part.toObject(), path);
    if (schema.contains(QStringLiteral("oneOf"))) {
      int valid = 0;
      for (const auto& part : schema[QStringLiteral("oneOf")].toArray())
        valid += Check(value, part.toObject(), path).empty() ? 1 : 0;
      if (valid != 1) wrong += path + ": matches " + std::to_string(valid) + " of oneOf; ";
    }
    if (schema.contains(QStringLiteral("enum")) && !schema[QStringLiteral("enum")].toArray().contains(value))
      wrong += path + ": not one of the enum; ";
    if (schema.contains(QStringLiteral("type")) && !IsType(value, schema[QStringLiteral("type")].toString()))
      wrong += path + ": wrong type; ";
    if (schema.contains(QStringLiteral("minimum")) && value.isDouble() &&
        value.toDouble() < schema[QStringLiteral("minimum")].toDouble())
      wrong += path + ": below the minimum; ";
    if (value.isObject()) {
      const QJsonObject object = value.toObject();
      const QJsonObject properties = schema[QStringLiteral("properties")].toObject();
      for (const auto& key : schema[QStringLiteral("required")].toArray()) {
        if (!object.contains(key.toString()))
          wrong += path + ": lacks " + key.toString().toStdString() + "; ";
      }
      for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string at = path + "." + it.key().toStdString();
        if (properties.contains(it.key())) {
          wrong += Check(it.value(), properties[it.key()].toObject(), at);
        } else if (schema.contains(QStringLiteral("additionalProperties")) &&
                   !schema[QStringLiteral("additionalProperties")].toBool()) {
          wrong += at + ": not in the schema; ";
        }
      }
    }
    if (value.isArray() && schema.contains(QStringLiteral("items"))) {
      int i = 0;
      for (const auto& item : value.toArray())
        wrong +=
            Check(item, schema[QStringLiteral("items")].toObject(), path + "[" + std::to_string(i++) + "]");
    }
    return wrong;
  }
  // One output line: its first (only) key names its schema.
  std::string CheckLine(const std::string& line) const {
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line));
    if (!doc.isObject() || doc.object().size() != 1) return "not one object with one key: " + line;
    const QString key = doc.object().begin().key();
    if (!root_.contains(key)) return "no schema for " + key.toStdString();
    return Check(doc.object()[key], root_[key].toObject(), key.toStdString());
  }

 private:
  static bool IsType(const QJsonValue& v, const QString& type) {
    if (type == QLatin1String("string")) return v.isString();
    if (type == QLatin1String("boolean")) return v.isBool();
    if (type == QLatin1String("object")) return v.isObject();
    if (type == QLatin1String("array")) return v.isArray();
    if (type == QLatin1String("integer"))
      return v.isDouble() && v.toDouble() == static_cast<double>(v.toInteger());
    return false;
  }
  QJsonObject root_;
};

TRecipient Recipient(RecipientStatus status, DeliveryOutcome reason = DeliveryOutcome::Delivered) {
  TRecipient r;
  r.Nick = "bob \"the\" builder";
  r.Address = "198.18.0.2";
  r.Status = status;
  r.Reason = reason;
  r.AtMs = 1796644805310;
  return r;
}

TEST(DeliveryJson, EveryObjectFollowsTheDocumentedSchema) {
  const QJsonObject schema = DocumentedSchema();
  ASSERT_TRUE(schema.contains(QStringLiteral("delivery")))
      << "the schema block is missing from docs/headless.md";
  const Validator validator(schema);

  TSentMessage message;
  message.Id = 12;
  message.SentAtMs = 1796644805000;
  message.Text = "line\r\nbreak";
  std::vector<std::string> lines;
  for (const MessageKind kind : {MessageKind::Private, MessageKind::Everybody, MessageKind::Bell}) {
    message.Kind = kind;
    message.AskedAcknowledge = kind == MessageKind::Everybody;
    message.Recipients = {Recipient(RecipientStatus::Sending), Recipient(RecipientStatus::Delivered),
                          Recipient(RecipientStatus::Waiting), Recipient(RecipientStatus::Cancelled)};
    for (const DeliveryOutcome reason :
         {DeliveryOutcome::NoAnswer, DeliveryOutcome::PeerLeft, DeliveryOutcome::PeerLost,
          DeliveryOutcome::PeerOffline, DeliveryOutcome::Overwritten})
      message.Recipients.push_back(Recipient(RecipientStatus::NotDelivered, reason));
    message.Recipients[1].Acknowledged = true;
    message.Recipients[1].KeyHex = "abcdef";
    for (int i = -1; i < static_cast<int>(message.Recipients.size()); ++i)
      lines.push_back(JsonDelivery(message, i, "received by 1 of 9"));
    lines.push_back(JsonRollCall(message, "mark"));
  }
  message.Kind = MessageKind::Private;
  message.Recipients.clear();  // a roll-call with nobody in the roster
  lines.push_back(JsonDelivery(message, -1, ""));
  lines.push_back(JsonAcknowledge(13, "anna", "198.18.0.1", false, 0));
  lines.push_back(JsonAcknowledge(13, "anna", "198.18.0.1", true, 1796644805000));
  for (const std::string& line : lines) EXPECT_EQ(validator.CheckLine(line), "") << line;

  // The validator finds what is wrong: a missing key, an unknown status, a stray key.
  const std::string good = JsonDelivery(message, -1, "");
  for (const auto& [from, to] :
       std::vector<std::pair<std::string, std::string>>{{"\"Mark\":", "\"Marks\":"},
                                                        {"\"Kind\":\"private\"", "\"Kind\":\"other\""},
                                                        {"\"Id\":12", "\"Id\":0"}}) {
    std::string bad = JsonDelivery(message, -1, "");
    bad.replace(bad.find(from), from.size(), to);
    EXPECT_NE(validator.CheckLine(bad), "") << bad;
  }
  EXPECT_EQ(validator.CheckLine(good), "");
}

}  // namespace
}  // namespace plumo
