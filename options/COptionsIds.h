#pragma once

// The control ids of the options sheet, its pages and its recurrence panels,
// as the templates give them in their controlId property. The ids are unique
// across the whole sheet.
namespace COptionsIds {

enum : int {
    // The sheet's own buttons.
    IDC_SCHEDULE = 1002,
    IDC_CANCEL = 1063,

    // General page.
    IDC_START_DATE = 1037,
    IDC_SENDING_TIME = 1038,
    IDC_NO_RECURRENCE = 1004,
    IDC_MINUTELY = 219,
    IDC_DAILY = 11005,
    IDC_WEEKLY = 1106,
    IDC_MONTHLY = 1107,
    IDC_YEARLY = 1208,
    IDC_PANEL_LINE = 11006,  // the rule above the panel
    IDC_NO_END = 1039,
    IDC_END_AFTER = 1040,
    IDC_END_BY_DATE = 1041,
    IDC_END_AFTER_COUNT = 1042,
    IDC_END_AFTER_SPIN = 1030,
    IDC_END_DATE = 1036,

    // Minutely panel.
    IDC_MINUTELY_EVERY = 239,
    IDC_MINUTELY_INTERVAL = 240,
    IDC_MINUTELY_SPIN = 241,

    // Daily panel.
    IDC_DAILY_EVERY_N_DAYS = 1005,
    IDC_DAILY_EVERY_KIND = 1006,
    IDC_DAILY_INTERVAL = 1007,
    IDC_DAILY_SPIN = 1049,
    IDC_DAILY_DAY_KIND = 1109,

    // Weekly panel.
    IDC_WEEKLY_EVERY_N_WEEKS = 1050,
    IDC_WEEKLY_BY_WEEK_OF_MONTH = 1051,
    IDC_WEEKLY_INTERVAL = 1052,
    IDC_WEEKLY_SPIN = 1053,
    IDC_WEEKLY_WEEK_OF_MONTH = 1054,
    IDC_SUNDAY = 1015,
    IDC_MONDAY = 1216,
    IDC_TUESDAY = 1217,
    IDC_WEDNESDAY = 1218,
    IDC_THURSDAY = 1019,
    IDC_FRIDAY = 1020,
    IDC_SATURDAY = 1021,

    // Monthly panel.
    IDC_MONTHLY_BY_DAY = 1228,
    IDC_MONTHLY_BY_ORDINAL = 1219,
    IDC_MONTHLY_DAY = 1055,
    IDC_MONTHLY_DAY_SPIN = 1056,
    IDC_MONTHLY_INTERVAL = 1013,
    IDC_MONTHLY_INTERVAL_SPIN = 1009,
    IDC_MONTHLY_ORDINAL = 1057,
    IDC_MONTHLY_DAY_KIND = 1058,
    IDC_MONTHLY_INTERVAL2 = 1215,
    IDC_MONTHLY_INTERVAL2_SPIN = 1227,

    // Yearly panel.
    IDC_YEARLY_BY_MONTH_AND_DAY = 1010,
    IDC_YEARLY_BY_ORDINAL = 1011,
    IDC_YEARLY_MONTH = 1014,
    IDC_YEARLY_DAY = 1012,
    IDC_YEARLY_DAY_SPIN = 1008,
    IDC_YEARLY_ORDINAL = 1016,
    IDC_YEARLY_DAY_KIND = 1017,
    IDC_YEARLY_MONTH2 = 1018,

    // Attachments page.
    IDC_ATTACHMENT_LIST = 1121,
    IDC_ADD_FILES = 1022,
    IDC_EDIT_ATTACHMENT = 1023,
    IDC_REMOVE_ATTACHMENT = 1024,
    IDC_REMOVE_ALL = 1201,

    // Other page.
    IDC_TASK_NAME = 1126,
    IDC_RECEIVE_BEFORE_SENDING = 1027,
    IDC_SEND_OVERDUE = 1128,
    IDC_ACTIVE = 1029,
};

}  // namespace COptionsIds
