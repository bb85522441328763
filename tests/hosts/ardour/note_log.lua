ardour {
	["type"]    = "dsp",
	name        = "Larkwire Test Note Log",
	category    = "Utility",
	license     = "MIT",
	author      = "Larkwire tests",
	description = [[Keeps status, key and offset in the cycle of the last 256 MIDI events; passes everything through]]
}

-- shmem: [0] events seen so far, then a ring of slots * 3 ints.
local slots = 256

function dsp_ioconfig ()
	return { { midi_in = 1, midi_out = 1, audio_in = -1, audio_out = -1 } }
end

function dsp_init (rate)
	self:shmem ():allocate (1 + slots * 3)
	self:shmem ():atomic_set_int (0, 0)
	local ring = self:shmem ():to_int (1):array ()
	for i = 1, slots * 3 do ring[i] = -1 end
end

function dsp_configure (ins, outs)
	n_out = outs
end

function dsp_runmap (bufs, in_map, out_map, n_samples, offset)
	ARDOUR.DSP.process_map (bufs, n_out, in_map, out_map, n_samples, offset)
	local ib = in_map:get (ARDOUR.DataType ("midi"), 0)
	if ib == ARDOUR.ChanMapping.Invalid then return end
	local count = self:shmem ():atomic_get_int (0)
	local ring = self:shmem ():to_int (1):array ()
	for _, e in pairs (bufs:get_midi (ib):table ()) do
		local bytes = e:buffer ():array ()
		local at = (count % slots) * 3
		ring[at + 1] = bytes[1]
		ring[at + 2] = bytes[2]
		ring[at + 3] = e:time () - offset
		count = count + 1
	end
	self:shmem ():atomic_set_int (0, count)
end
