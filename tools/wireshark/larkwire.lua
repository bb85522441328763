-- Wireshark dissector for Larkwire's audio and MIDI datagrams on UDP port 58710.
-- Use: wireshark -X lua_script:larkwire.lua, or copy it into the personal
-- Lua plug-ins folder (Help > About Wireshark > Folders).
-- Every integer on the wire is little-endian; the audio header is packed, so
-- rate and sampleBytes sit at odd offsets.

local larkwire = Proto("larkwire", "Larkwire audio/MIDI stream")

local kinds = { MLWR = "audio", mLWR = "MIDI" }

local f = {
    magic        = ProtoField.string("larkwire.magic", "Magic"),
    kind         = ProtoField.string("larkwire.kind", "Kind"),
    total_length = ProtoField.int32("larkwire.total_length", "Total length", base.DEC),
    identifier   = ProtoField.stringz("larkwire.identifier", "Stream identifier"),
    channels     = ProtoField.int8("larkwire.channels", "Channels", base.DEC),
    rate         = ProtoField.int32("larkwire.rate", "Sample rate", base.DEC),
    sample_bytes = ProtoField.uint16("larkwire.sample_bytes", "Sample bytes", base.DEC),
    frames       = ProtoField.uint32("larkwire.frames", "Frames per channel", base.DEC),
    samples      = ProtoField.bytes("larkwire.samples", "Samples"),
    channel_data = ProtoField.bytes("larkwire.channel_samples", "Channel samples"),
    first_sample = ProtoField.float("larkwire.first_sample", "First sample"),
    event        = ProtoField.bytes("larkwire.event", "Event"),
    ev_type      = ProtoField.int32("larkwire.event.type", "Type", base.DEC,
                                    { [1] = "MIDI", [6] = "SysEx" }),
    ev_size      = ProtoField.int32("larkwire.event.byte_size", "Byte size", base.DEC),
    ev_delta     = ProtoField.int32("larkwire.event.delta_frames", "Delta frames", base.DEC),
    ev_flags     = ProtoField.uint32("larkwire.event.flags", "Flags", base.HEX),
    midi_status  = ProtoField.uint8("larkwire.midi.status", "Status", base.HEX),
    midi_message = ProtoField.string("larkwire.midi.message", "Message"),
    midi_channel = ProtoField.uint8("larkwire.midi.channel", "MIDI channel", base.DEC),
    midi_note    = ProtoField.uint8("larkwire.midi.note", "Note", base.DEC),
    midi_vel     = ProtoField.uint8("larkwire.midi.velocity", "Velocity", base.DEC),
    event_count  = ProtoField.uint32("larkwire.event_count", "Events", base.DEC),
}
larkwire.fields = f

local e = {
    length   = ProtoExpert.new("larkwire.length_mismatch", "Length field disagrees with the datagram",
                               expert.group.MALFORMED, expert.severity.ERROR),
    short    = ProtoExpert.new("larkwire.short", "Datagram too short for its header",
                               expert.group.MALFORMED, expert.severity.ERROR),
    channels = ProtoExpert.new("larkwire.bad_channels", "Channels outside 1..64 (a receiver takes 1)",
                               expert.group.MALFORMED, expert.severity.WARN),
    frames   = ProtoExpert.new("larkwire.ragged_samples", "Sample bytes are not whole frames",
                               expert.group.MALFORMED, expert.severity.WARN),
    record   = ProtoExpert.new("larkwire.bad_record", "Event record does not fit the datagram",
                               expert.group.MALFORMED, expert.severity.ERROR),
}
larkwire.experts = { e.length, e.short, e.channels, e.frames, e.record }

local function dissect_audio(tvb, tree, length)
    if length < 47 then
        tree:add_proto_expert_info(e.short)
        return
    end
    local channels = tvb(40, 1):int()
    local sample_bytes = tvb(45, 2):le_uint()
    local ch_item = tree:add(f.channels, tvb(40, 1))
    if channels < 1 or channels > 64 then ch_item:add_proto_expert_info(e.channels) end
    tree:add_le(f.rate, tvb(41, 4))
    local sb_item = tree:add_le(f.sample_bytes, tvb(45, 2))
    if 47 + sample_bytes ~= length then
        sb_item:add_proto_expert_info(e.length,
            string.format("47 + sampleBytes = %d, datagram has %d bytes", 47 + sample_bytes, length))
    end
    local effective = channels < 2 and 1 or channels
    local frames = math.floor(math.floor(sample_bytes / 4) / effective)
    local fr_item = tree:add(f.frames, frames):set_generated()
    if frames * effective * 4 ~= sample_bytes then fr_item:add_proto_expert_info(e.frames) end
    local usable = math.min(sample_bytes, length - 47)
    if usable <= 0 then return end
    local samples = tree:add(f.samples, tvb(47, usable))
    -- Planar: all frames of channel 0, then channel 1, and so on.
    for k = 0, effective - 1 do
        local start = 47 + k * frames * 4
        if frames == 0 or start + frames * 4 > 47 + usable then break end
        local ch = samples:add(f.channel_data, tvb(start, frames * 4))
        ch:set_text(string.format("Channel %d: %d frames", k, frames))
        ch:add_le(f.first_sample, tvb(start, 4))
    end
end

local function dissect_midi_content(tvb, tree, start)
    local status = tvb(start, 1):uint()
    local high = bit.band(status, 0xF0)
    local message = ({ [0x80] = "note off", [0x90] = "note on", [0xA0] = "aftertouch",
                       [0xB0] = "control change", [0xC0] = "program change",
                       [0xD0] = "channel pressure", [0xE0] = "pitch bend" })[high] or "system"
    if high == 0x90 and tvb(start + 2, 1):uint() == 0 then message = "note off (velocity 0)" end
    tree:add(f.midi_status, tvb(start, 1))
    tree:add(f.midi_message, message):set_generated()
    if high >= 0x80 and high <= 0xE0 then
        tree:add(f.midi_channel, bit.band(status, 0x0F) + 1):set_generated()
    end
    if high == 0x80 or high == 0x90 then
        tree:add(f.midi_note, tvb(start + 1, 1))
        tree:add(f.midi_vel, tvb(start + 2, 1))
    end
    return message
end

local function dissect_events(tvb, tree, length)
    -- Records follow the receiver's rule: read while more than 8 bytes are
    -- left and the next record's byteSize + 8 fits.
    local offset, count = 40, 0
    while length - offset > 8 do
        local byte_size = tvb(offset + 4, 4):le_int()
        if byte_size < 8 or byte_size + 8 > length - offset then
            local bad = tree:add(f.event, tvb(offset, length - offset))
            bad:set_text(string.format("Event record with byteSize %d does not fit", byte_size))
            bad:add_proto_expert_info(e.record)
            break
        end
        local record = tvb(offset, byte_size + 8)
        local ev = tree:add(f.event, record)
        local ev_type = tvb(offset, 4):le_int()
        ev:add_le(f.ev_type, tvb(offset, 4))
        ev:add_le(f.ev_size, tvb(offset + 4, 4))
        ev:add_le(f.ev_delta, tvb(offset + 8, 4))
        ev:add_le(f.ev_flags, tvb(offset + 12, 4))
        local text = string.format("Event %d: type %d, delta %d", count, ev_type,
                                   tvb(offset + 8, 4):le_int())
        -- A MIDI event keeps its three data bytes at offset 24 of the record.
        if ev_type == 1 and byte_size >= 19 then
            text = text .. ", " .. dissect_midi_content(tvb, ev, offset + 24)
        end
        ev:set_text(text)
        count = count + 1
        offset = offset + byte_size + 8
    end
    if length - offset > 0 and length - offset <= 8 then
        local rest = tree:add(f.event, tvb(offset, length - offset))
        rest:set_text(string.format("%d bytes after the last record", length - offset))
        rest:add_proto_expert_info(e.record)
    end
    tree:add(f.event_count, count):set_generated()
    return count
end

function larkwire.dissector(tvb, pinfo, tree)
    local length = tvb:captured_len()
    if length < 8 then return 0 end
    local magic = tvb(0, 4):string()
    local kind = kinds[magic]
    if kind == nil then return 0 end

    pinfo.cols.protocol = "Larkwire"
    local root = tree:add(larkwire, tvb(), "Larkwire " .. kind .. " datagram")
    root:add(f.magic, tvb(0, 4))
    root:add(f.kind, kind):set_generated()
    local declared = tvb(4, 4):le_int()
    local tl_item = root:add_le(f.total_length, tvb(4, 4))
    if declared ~= tvb:reported_length_remaining() then
        tl_item:add_proto_expert_info(e.length,
            string.format("totalLength %d, datagram has %d bytes", declared, tvb:reported_length_remaining()))
    end
    if length < 40 then
        root:add_proto_expert_info(e.short)
        pinfo.cols.info = "Larkwire " .. kind .. ", header cut short"
        return length
    end
    root:add(f.identifier, tvb(8, 32))
    local id = tvb(8, 32):stringz()
    if kind == "audio" then
        dissect_audio(tvb, root, length)
        pinfo.cols.info = string.format("Larkwire audio \"%s\" %d ch %d Hz %d bytes", id,
                                        length > 40 and tvb(40, 1):int() or 0, length >= 45 and tvb(41, 4):le_int() or 0,
                                        length >= 47 and tvb(45, 2):le_uint() or 0)
    else
        local count = dissect_events(tvb, root, length)
        pinfo.cols.info = string.format("Larkwire MIDI \"%s\" %d events", id, count)
    end
    return length
end

DissectorTable.get("udp.port"):add(58710, larkwire)
