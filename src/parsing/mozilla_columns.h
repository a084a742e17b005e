// The card properties of the Mozilla address books (Mork columns, and the property names of
// Thunderbird's SQLite books), each with the field it holds.
#pragma once

#include <array>
#include <string_view>
#include <utility>

#include "model/entry.h"

namespace vesk {

// WebPage1 is the work page and WebPage2 the home page in the Mozilla programs.
inline constexpr std::array<std::pair<Field, std::string_view>, 26> kMozillaCardColumns = {{
    {Field::FullName, "DisplayName"},
    {Field::Email, "PrimaryEmail"},
    {Field::Nickname, "NickName"},
    {Field::HomePhone, "HomePhone"},
    {Field::BusinessPhone, "WorkPhone"},
    {Field::Organization, "Company"},
    {Field::HomeStreet, "HomeAddress"},
    {Field::HomeCity, "HomeCity"},
    {Field::HomePostalCode, "HomeZipCode"},
    {Field::HomeState, "HomeState"},
    {Field::HomeCountry, "HomeCountry"},
    {Field::HomeFax, "FaxNumber"},
    {Field::CellularPhone, "CellularNumber"},
    {Field::HomeWebPage, "WebPage2"},
    {Field::BusinessStreet, "WorkAddress"},
    {Field::BusinessCity, "WorkCity"},
    {Field::BusinessPostalCode, "WorkZipCode"},
    {Field::BusinessState, "WorkState"},
    {Field::BusinessCountry, "WorkCountry"},
    {Field::BusinessWebPage, "WebPage1"},
    {Field::Pager, "PagerNumber"},
    {Field::JobTitle, "JobTitle"},
    {Field::Department, "Department"},
    {Field::Notes, "Notes"},
    {Field::FirstName, "FirstName"},
    {Field::LastName, "LastName"},
}};

}  // namespace vesk
