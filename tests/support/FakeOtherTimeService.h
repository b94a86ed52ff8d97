#pragma once

#include "platform/OtherTimeService.h"

// Another time service as a test sets it: the name it gives, and how often it was asked.
class FakeOtherTimeService final : public OtherTimeService
{
public:
    explicit FakeOtherTimeService(QString name = QString()) : name(std::move(name)) { }

    QString running() override
    {
        ++asked;
        return name;
    }

    QString name; // empty: none runs
    int asked = 0;
};
