// SPDX-License-Identifier: GPL-3.0-or-later
// The message keys the program looks up and the design captions of its two windows. The shipped
// language files cover all of them; a test keeps them in step.
#include "lang/lng.h"

namespace plumo {

const std::vector<const char*> kMessageKeys = {
    "About",         "Wellcom",          "EnterToChat",   "NewUser",      "UserExit",
    "UserLost",      "UserChangeStatus", "TopicChange",   "TopicChangeC", "Message_received",
    "Bell_received", "User_change_Nik",  "Info",          "Bell",         "MultiMessage",
    "Total",         "CantSendMessage",  "NoUsersSelect", "Console",      "ChanelTopic",
    "Topic",         "WhatTopicThere",   "UserNotFound",  "ConsoleHelp",  "WinState1",
    "WinState2",     "WinState3",        "WinState4",     "WinState5",    "State",
    "StateDND",      "StateOffline",     "ChatOn",        "ChatOff",      "QUpdate",
    "ConfirmUpdate", "NumBell",          "OtherColor",    "Descr",        "MessageTooLong",
    "PortBusy",      "CantEncode",
};

// Component order within each window: panels, speed buttons, then the items of the window's own
// popup menus (the program menu, the roster menu, the message tab menu, the editor menu, the
// channel view menu); for the settings dialog: buttons, speed buttons, label, check boxes, group
// boxes, radio group, tab sheets, open-file dialog.
const std::vector<TDesignCaption> kDesignCaptions = {
    {"Form1", "Panel1", ""},
    {"Form1", "Panel2", ""},
    {"Form1", "Panel3", ""},
    {"Form1", "Panel4", ""},
    {"Form1", "SpeedButton1", "Всего"},
    {"Form1", "SpeedButton2", "Настройки"},
    {"Form1", "SpeedButton3", "Звук"},
    {"Form1", "ToolButton1", "Сообщение"},
    {"Form1", "ToolButton2", "Всем"},
    {"Form1", "ToolButton3", "Цвет"},
    {"Form1", "ToolButton4", "Команды"},
    {"Form1", "ToolButton5", "Состояние"},
    {"Form1", "ToolButton6", "Тема"},
    {"Form1", "ToolButton7", "Выход"},
    {"Form1", "About1", "About"},
    {"Form1", "UpdatePlumo1", "Update Plumo"},
    {"Form1", "blank", "-"},
    {"Form1", "Restore1", "Restore"},
    {"Form1", "exit1", "exit"},
    {"Form1", "N1", "Сообщение"},
    {"Form1", "N2", "Многоадресное Сообщение"},
    {"Form1", "N19", "Вставить Ник в редактор"},
    {"Form1", "N24", "-"},
    {"Form1", "N22", "Послать гудок"},
    {"Form1", "N23", "Послать определённый гудок"},
    {"Form1", "N25", "-"},
    {"Form1", "N20", "О пользователе."},
    {"Form1", "N3", "Закрыть"},
    {"Form1", "N4", "Отправить"},
    {"Form1", "N9", "Смайлики"},
    {"Form1", "N26", "Раскладки клавиатуры"},
    {"Form1", "N6", "Копировать"},
    {"Form1", "N7", "Вставить"},
    {"Form1", "N8", "Удалить"},
    {"Form1", "N11", "Многострочный редактор"},
    {"Form1", "N13", "Отправить"},
    {"Form1", "N14", "Отменить сообщение"},
    {"Form1", "N15", "Скопировать в редактор (Mouse3)"},
    {"Form1", "N16", "Очистить"},
    {"Form2", "Button1", "Добавить программу"},
    {"Form2", "Button2", "Удалить"},
    {"Form2", "Button3", "Добавить"},
    {"Form2", "Button4", "Удалить"},
    {"Form2", "SpeedButton1", "..."},
    {"Form2", "SpeedButton2", "Language"},
    {"Form2", "SpeedButton3", ""},
    {"Form2", "SpeedButton4", ""},
    {"Form2", "Label1", "Мой цвет в чате"},
    {"Form2", "CheckBox1", "Запускать автоматически при старте Windows"},
    {"Form2", "CheckBox2", "Подсветка ника в каналах"},
    {"Form2", "CheckBox3", "Подсветка ника в сообщениях"},
    {"Form2", "CheckBox4", "Показывать всплывающие подсказки когда окно не активно"},
    {"Form2", "CheckBox5", "Отключить многоадресные сообщения"},
    {"Form2", "GroupBox1", "Звуки"},
    {"Form2", "GroupBox2", "Чат"},
    {"Form2", "GroupBox3", "Авторежимы"},
    {"Form2", "GroupBox4", "Управление"},
    {"Form2", "GroupBox5", "Список гудков"},
    {"Form2", "GroupBox6", "Управление"},
    {"Form2", "RadioGroup1", "Для режима"},
    {"Form2", "TabSheet1", "Основные"},
    {"Form2", "TabSheet2", "О пользователе"},
    {"Form2", "TabSheet3", "Режимы чата"},
    {"Form2", "TabSheet4", "Гудки"},
    {"Form2", "OpenDialog1", "Открыть"},
};

}  // namespace plumo
