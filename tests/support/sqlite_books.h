#pragma once
// Thunderbird SQLite address books built in tests, in the layouts Thunderbird wrote: 2
// (versions 71 to 81, with the cards table), 3 (82 to 101, flat properties) and 4 (102 on).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <utility>
#include <vector>

namespace vesk::testing {

struct BookCard {
    std::string uid;
    std::vector<std::pair<std::string, std::string>> properties;
};

struct BookList {
    std::string uid;
    std::string name;
    std::vector<std::string> cards;
};

/// Runs `sql` on the book at `path`, which it creates when it does not exist.
inline void execSql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    char* error = nullptr;
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    if (error) ADD_FAILURE() << error << " in " << sql;
    sqlite3_free(error);
    sqlite3_close(db);
}

inline std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out.push_back('\'');
        out.push_back(c);
    }
    return out + "'";
}

/// A book of `layout` (2, 3 or 4) at `path` holding `cards` and `lists`; in layout 2 only the
/// cards of `registered` (all when empty) are in the cards table.
inline void makeSqliteBook(const std::string& path, int layout, const std::vector<BookCard>& cards,
                           const std::vector<BookList>& lists,
                           std::vector<std::string> registered = {}) {
    const bool withCards = layout == 2;
    std::string sql = "BEGIN; CREATE TABLE properties (card TEXT, name TEXT, value TEXT);";
    sql += withCards ? "CREATE TABLE cards (uid TEXT PRIMARY KEY, localId INTEGER);"
                       "CREATE TABLE lists (uid TEXT PRIMARY KEY, localId INTEGER, name TEXT, "
                       "nickName TEXT, description TEXT);"
                     : "CREATE TABLE lists (uid TEXT PRIMARY KEY, name TEXT, nickName TEXT, "
                       "description TEXT);";
    sql += "CREATE TABLE list_cards (list TEXT, card TEXT, PRIMARY KEY(list, card));";
    sql += "PRAGMA user_version = " + std::to_string(layout) + ";";
    if (registered.empty()) {
        for (const BookCard& c : cards) registered.push_back(c.uid);
    }
    int localId = 0;
    for (const std::string& uid : registered) {
        if (withCards) {
            sql += "INSERT INTO cards VALUES (" + quoted(uid) + ", " + std::to_string(++localId) +
                   ");";
        }
    }
    for (const BookCard& c : cards) {
        for (const auto& [name, value] : c.properties) {
            sql += "INSERT INTO properties VALUES (" + quoted(c.uid) + ", " + quoted(name) + ", " +
                   quoted(value) + ");";
        }
    }
    for (const BookList& l : lists) {
        sql += withCards ? "INSERT INTO lists VALUES (" + quoted(l.uid) + ", 1, " + quoted(l.name) +
                               ", '', '');"
                         : "INSERT INTO lists VALUES (" + quoted(l.uid) + ", " + quoted(l.name) +
                               ", '', '');";
        for (const std::string& card : l.cards) {
            sql += "INSERT INTO list_cards VALUES (" + quoted(l.uid) + ", " + quoted(card) + ");";
        }
    }
    execSql(path, sql + "COMMIT;");
}

/// The values of a one-column query on the book at `path`.
inline std::vector<std::string> queryColumn(const std::string& path, const std::string& sql) {
    std::vector<std::string> out;
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        const auto* text = sqlite3_column_text(stmt, 0);
        out.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return out;
}

}  // namespace vesk::testing
