SELECT ticket_id,
       CASE WHEN priority >= 3 THEN 'urgent' WHEN priority = 2 THEN 'normal' ELSE 'low' END AS bucket,
       opened_at
FROM tickets
WHERE closed_at IS NULL
