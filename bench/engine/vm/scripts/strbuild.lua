local n = 0
local buf = ""
for i = 1, 10000 do
  buf = ""
  for j = 1, 100 do
    n = n + 1
    buf = buf .. "item " .. n .. " = " .. (n + 0.5) .. "; "
  end
end
return buf
